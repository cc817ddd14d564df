<?xml version="1.0" encoding="UTF-8"?>
<!-- The request form: renders the request document into a printable HTML page.
     Kept in UTF-8 here; the build stores it in the program in windows-1251. -->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:pki="http://www.csp-vendor.example/2001/Schema/RU1-VED"
    exclude-result-prefixes="pki">
  <xsl:output method="html" encoding="windows-1251" media-type="text/html;charset=windows-1251" indent="no"/>
  <xsl:strip-space elements="*"/>

  <!-- The CA's postal address and telephone, given by the program. -->
  <xsl:param name="ca-address" select="''"/>
  <xsl:param name="ca-phone" select="''"/>

  <xsl:template match="/">
    <html>
      <head>
        <title>Запрос на сертификат X.509</title>
        <style type="text/css">
          body { font-family: Verdana; font-size: 7pt; }
          h1 { font-family: Verdana; font-size: 10pt; text-align: center; }
          h2 { font-family: Verdana; font-size: 8pt; text-align: center; }
          .foot { font-family: Verdana; font-size: 8pt; text-align: right; }
          .note { font-family: Verdana; font-size: 7pt; text-decoration: underline; }
          p, pre { font-family: Verdana; font-size: 7pt; }
          .in { margin-left: 16px; }
        </style>
      </head>
      <body>
        <xsl:apply-templates select="pki:request"/>
      </body>
    </html>
  </xsl:template>

  <!-- The value of the common name, else of the first attribute. -->
  <xsl:template name="holder">
    <xsl:param name="rdn"/>
    <xsl:variable name="cn" select="string($rdn/pki:rdn-attr[@pki:id = '2.5.4.3'][1]/pki:value)"/>
    <xsl:choose>
      <xsl:when test="$cn != ''"><xsl:value-of select="$cn"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$rdn/pki:rdn-attr[1]/pki:value"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="pki:request">
    <h1>Запрос на сертификат ключа проверки электронной подписи</h1>
    <h2>Удостоверяющий центр ООО &#0171;Talvik&#0187;</h2>
    <hr/>
    <p><b>Сведения о запросе на сертификат:</b></p>
    <p>Кем выпущен: <b><xsl:call-template name="holder">
      <xsl:with-param name="rdn" select="pki:subject/pki:rdn"/>
    </xsl:call-template></b></p>
    <xsl:apply-templates select="*"/>
    <hr/>
    <table width="100%" cellspacing="0" cellpadding="2">
      <tr>
        <td width="60%"><p>Подпись владельца запроса на сертификат: ___________/_______________</p></td>
        <td width="40%" class="foot"><p class="foot">"___" ________ 20__ г.</p></td>
      </tr>
      <tr>
        <td><p>М. П.</p></td>
        <td></td>
      </tr>
    </table>
    <p class="note">Подписанный запрос на сертификат ключа проверки электронной подписи следует переслать по адресу:</p>
    <p class="note">Администратору Удостоверяющего центра ООО &#0171;Talvik&#0187;: <xsl:value-of select="$ca-address"/>, тел. <xsl:value-of select="$ca-phone"/></p>
  </xsl:template>

  <xsl:template match="pki:version">
    <p>Версия: <xsl:value-of select="."/> (0x<xsl:value-of select="@pki:value"/>)</p>
  </xsl:template>

  <xsl:template match="pki:subject">
    <p>Субьект запроса на сертификат: <b><xsl:for-each select="pki:rdn/pki:rdn-attr">
      <xsl:if test="position() &gt; 1">, </xsl:if>
      <xsl:value-of select="pki:name"/>=<xsl:value-of select="pki:value"/>
    </xsl:for-each></b></p>
  </xsl:template>

  <xsl:template match="pki:subject-public-key-info">
    <p><b>Ключ проверки электронной подписи:</b></p>
    <div class="in"><xsl:apply-templates select="pki:public-key-algorithm"/></div>
  </xsl:template>

  <xsl:template match="pki:public-key-algorithm">
    <p>Алгоритм ключа проверки электронной подписи:</p>
    <div class="in"><xsl:apply-templates select="*"/></div>
  </xsl:template>

  <xsl:template match="pki:public-key-algorithm/pki:name">
    <p>Название: <xsl:value-of select="."/></p>
  </xsl:template>

  <xsl:template match="pki:parameters">
    <p>Параметры: <xsl:value-of select="."/></p>
  </xsl:template>

  <xsl:template match="pki:public-key-algorithm/pki:value">
    <p>Значение: <xsl:value-of select="."/></p>
    <xsl:if test="string(@pki:unused-bits) != '0' and string(@pki:unused-bits) != ''">
      <p>Не использованных бит: <xsl:value-of select="@pki:unused-bits"/></p>
    </xsl:if>
  </xsl:template>

  <xsl:template match="pki:attributes">
    <p><b>Атрибуты запроса на сертификат X.509</b></p>
    <xsl:apply-templates select="pki:attribute"/>
  </xsl:template>

  <xsl:template match="pki:attribute">
    <p><xsl:value-of select="@pki:order"/>. Атрибут <xsl:value-of select="@pki:id"/></p>
    <div class="in">
      <xsl:apply-templates select="pki:name | pki:value | pki:name-value-pairs | pki:extensions | pki:enrollment-provider"/>
    </div>
  </xsl:template>

  <xsl:template match="pki:attribute/pki:name">
    <p><b><xsl:value-of select="."/></b></p>
  </xsl:template>

  <xsl:template match="pki:attribute/pki:value">
    <p>Значение: <xsl:value-of select="."/></p>
  </xsl:template>

  <xsl:template match="pki:extensions">
    <p>Расширения сертификата X.509</p>
    <xsl:apply-templates select="pki:extension"/>
  </xsl:template>

  <xsl:template match="pki:extension">
    <p><xsl:value-of select="@pki:order"/>. Расширение <xsl:value-of select="@pki:id"/>
      <xsl:if test="@pki:critical = 'yes'"> (критическое)</xsl:if></p>
    <div class="in">
      <p><b><xsl:value-of select="pki:name"/></b></p>
      <p><xsl:value-of select="pki:value"/></p>
    </div>
  </xsl:template>

  <xsl:template match="pki:enrollment-provider">
    <p>Сведения о провайдере</p>
    <div class="in"><xsl:apply-templates select="*"/></div>
  </xsl:template>

  <xsl:template match="pki:key-spec">
    <xsl:choose>
      <xsl:when test="contains(pki:value, 'AT_KEYEXCHANGE')"><p>Назначение ключа : ОБМЕН</p></xsl:when>
      <xsl:when test="contains(pki:value, 'AT_SIGNATURE')"><p>Назначение ключа : ПОДПИСЬ</p></xsl:when>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="pki:csp-name">
    <p>Название провайдера : <xsl:value-of select="pki:value"/></p>
  </xsl:template>

  <xsl:template match="pki:csp-signature">
    <p>Подпись провайдера : <xsl:value-of select="pki:value"/></p>
  </xsl:template>

  <xsl:template match="pki:name-value-pairs">
    <xsl:apply-templates select="pki:name-value-pair"/>
  </xsl:template>

  <xsl:template match="pki:name-value-pair">
    <p><xsl:value-of select="@pki:order"/>. <xsl:value-of select="pki:name"/></p>
    <p class="in">Значение: <xsl:value-of select="pki:value"/></p>
  </xsl:template>

  <xsl:template match="pki:signed-content">
    <p><b>Подпись запроса:</b></p>
    <div class="in"><xsl:apply-templates select="*"/></div>
  </xsl:template>

  <xsl:template match="pki:signature-algorithm">
    <p>Алгоритм подписи: <xsl:value-of select="pki:name"/></p>
  </xsl:template>

  <xsl:template match="pki:signature-value">
    <p>Значение: <xsl:value-of select="pki:value"/></p>
  </xsl:template>

  <xsl:template match="text()"/>
</xsl:stylesheet>
