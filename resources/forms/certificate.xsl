<?xml version="1.0" encoding="UTF-8"?>
<!-- The certificate form: renders the certificate document into a printable HTML page with
     the owner's acknowledgement and the security guide on a page of its own.
     Kept in UTF-8 here; the build stores it in the program in windows-1251. -->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:pki="http://www.csp-vendor.example/2001/Schema/RU1-VED"
    exclude-result-prefixes="pki">
  <xsl:output method="html" encoding="windows-1251" media-type="text/html;charset=windows-1251" indent="no"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <html>
      <head>
        <title>Информация, содержащаяся в сертификате ключа проверки электронной подписи</title>
        <style type="text/css">
          body { font-family: Verdana; font-size: 6pt; }
          h1 { font-family: Verdana; font-size: 9pt; text-align: center; }
          h2 { font-family: Verdana; font-size: 7pt; text-align: center; }
          .foot { font-family: Verdana; font-size: 7pt; text-align: right; vertical-align: top; }
          .foot1 { font-family: Verdana; font-size: 7pt; text-align: left; vertical-align: top; }
          .note { font-family: Verdana; font-size: 6pt; text-decoration: underline; }
          p, pre { font-family: Verdana; font-size: 6pt; }
          #sec_manual p { font-family: Verdana; font-size: 8pt; }
          .hl { font-family: Verdana; font-size: 8pt; font-weight: bold; }
          .in { margin-left: 16px; }
          .sec { font-family: Verdana; font-size: 8pt; font-weight: bold; }
          .more { page-break-after: always; }
        </style>
      </head>
      <body>
        <xsl:apply-templates select="pki:certificate"/>
        <div class="more">
          <table width="100%"><tr><td height="40">&#160;</td></tr></table>
        </div>
        <div id="sec_manual">
          <xsl:call-template name="guide"/>
        </div>
        <table width="100%"><tr><td height="40">&#160;</td></tr></table>
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

  <xsl:template name="one-line">
    <xsl:param name="rdn"/>
    <xsl:for-each select="$rdn/pki:rdn-attr">
      <xsl:if test="position() &gt; 1">, </xsl:if>
      <xsl:value-of select="pki:name"/>=<xsl:value-of select="pki:value"/>
    </xsl:for-each>
  </xsl:template>

  <xsl:template match="pki:certificate">
    <h1>Удостоверяющий центр ООО &#0171;Talvik&#0187;</h1>
    <h2>Информация, содержащаяся в сертификате ключа проверки электронной подписи</h2>
    <hr/>
    <p><b>Сведения о сертификате:</b></p>
    <p>Кому выдан: <span class="hl"><xsl:call-template name="holder">
      <xsl:with-param name="rdn" select="pki:subject/pki:rdn"/>
    </xsl:call-template></span></p>
    <p>Кем выдан: <span class="hl"><xsl:call-template name="holder">
      <xsl:with-param name="rdn" select="pki:issuer/pki:rdn"/>
    </xsl:call-template></span></p>
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="pki:version"/>

  <xsl:template match="pki:serial-number">
    <p>Серийный номер: <span class="hl"><xsl:value-of select="."/></span></p>
  </xsl:template>

  <xsl:template match="pki:issuer">
    <p>Издатель сертификата: <xsl:call-template name="one-line">
      <xsl:with-param name="rdn" select="pki:rdn"/>
    </xsl:call-template></p>
  </xsl:template>

  <xsl:template match="pki:validity">
    <p>Срок действия: <span class="hl">Действителен с <xsl:value-of select="pki:notBefore"/> по <xsl:value-of select="pki:notAfter"/></span></p>
  </xsl:template>

  <xsl:template match="pki:subject">
    <p>Владелец сертификата: <span class="hl"><xsl:call-template name="one-line">
      <xsl:with-param name="rdn" select="pki:rdn"/>
    </xsl:call-template></span></p>
  </xsl:template>

  <xsl:template match="pki:subject-public-key-info">
    <p><b>Ключ проверки электронной подписи:</b></p>
    <div class="in"><xsl:apply-templates select="pki:public-key-algorithm"/></div>
  </xsl:template>

  <xsl:template match="pki:public-key-algorithm">
    <p>Алгоритм ключа проверки электронной подписи:</p>
    <div class="in"><xsl:apply-templates select="*"/></div>
  </xsl:template>

  <xsl:template match="pki:algorithm">
    <p>Название: <xsl:value-of select="pki:name"/>, идентификатор: <xsl:value-of select="@pki:id"/></p>
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

  <xsl:template match="pki:extensions">
    <p><b>Расширения сертификата X.509</b></p>
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

  <xsl:template match="pki:signed-content">
    <p><b>Подпись Удостоверяющего центра:</b></p>
    <div class="in"><xsl:apply-templates select="*"/></div>
  </xsl:template>

  <xsl:template match="pki:signature-algorithm">
    <p>Алгоритм подписи:</p>
    <div class="in"><xsl:apply-templates select="pki:algorithm"/></div>
  </xsl:template>

  <xsl:template match="pki:signature-value">
    <p>Значение: <xsl:value-of select="pki:value"/></p>
  </xsl:template>

  <xsl:template match="pki:attributes">
    <hr/>
    <table width="100%" cellspacing="0" cellpadding="4">
      <tr>
        <td width="50%" class="foot1"></td>
        <td width="50%" class="foot">
          <p class="foot">
            <xsl:choose>
              <xsl:when test="pki:qualified/@pki:value = 'yes'">С информацией, содержащейся в квалифицированном сертификате, ознакомлен, руководство по обеспечению безопасности использования квалифицированной ЭП и средств квалифицированной ЭП получил:</xsl:when>
              <xsl:otherwise>С информацией, содержащейся в сертификате, ознакомлен, руководство по обеспечению безопасности использования ЭП и средств ЭП получил:</xsl:otherwise>
            </xsl:choose>
          </p>
          <p class="foot">____________________________/__________________________________</p>
        </td>
      </tr>
      <tr>
        <td class="foot1">
          <p class="foot1">УЦ Talvik: ____________________________/__________________________________</p>
          <p class="foot1">М. П.</p>
        </td>
        <td class="foot">
          <p class="foot">"_____" _____________________________ 20____ г.</p>
          <p class="foot">М. П.</p>
        </td>
      </tr>
    </table>
  </xsl:template>

  <xsl:template name="guide">
    <h1>Руководство по обеспечению безопасности использования электронной подписи и средств электронной подписи.</h1>

    <p class="sec">1.&#9;Общие рекомендации.</p>
    <p>1.1. Настоящее руководство определяет порядок безопасного использования электронной подписи (ЭП), ключа электронной подписи и средств ЭП владельцем сертификата ключа проверки электронной подписи.</p>
    <p>1.2. Владелец сертификата обязан соблюдать требования настоящего руководства, эксплуатационной документации на средства ЭП и регламента Удостоверяющего центра.</p>
    <p>1.3. Ключ электронной подписи является конфиденциальной информацией. Ответственность за его сохранность и за все действия, совершённые с его использованием, несёт владелец сертификата.</p>
    <p>1.4. Используйте только сертифицированные средства ЭП, полученные из доверенных источников, и своевременно устанавливайте их обновления.</p>

    <p class="sec">2.&#9;Условия и порядок использования электронной подписи и средств электронной подписи.</p>
    <p>2.1. Электронная подпись создаётся только с использованием действующего сертификата в пределах срока его действия и указанных в нём ограничений.</p>
    <p>2.2. Перед подписанием документа убедитесь, что его содержание соответствует вашему намерению, и не подписывайте документы, смысл которых вам не ясен.</p>
    <p>2.3. Средства ЭП устанавливаются и эксплуатируются в соответствии с их эксплуатационной документацией на компьютере, защищённом от вредоносных программ.</p>
    <p>2.4. На компьютере, где используется ЭП, применяйте лицензионное программное обеспечение, антивирусные средства с актуальными базами и не устанавливайте программы из непроверенных источников.</p>
    <p>2.5. Не допускайте использования ключевого носителя и средств ЭП посторонними лицами, в том числе по вашему поручению, без оформленных в установленном порядке полномочий.</p>

    <p class="sec">3.&#9;Меры, необходимые для обеспечения безопасности ключа электронной подписи</p>
    <p>3.1. Храните ключевой носитель в месте, исключающем доступ к нему посторонних лиц, например в личном сейфе или запираемом ящике.</p>
    <p>3.2. Подключайте ключевой носитель к компьютеру только на время работы с ЭП и отключайте его сразу после завершения работы.</p>
    <p>3.3. Смените PIN-код ключевого носителя, установленный по умолчанию, на собственный, не храните PIN-код вместе с носителем и не сообщайте его другим лицам.</p>
    <p>3.4. Не копируйте ключ электронной подписи на жёсткий диск компьютера, в облачные хранилища и на другие носители, не предназначенные для его хранения.</p>
    <p>3.5. Не передавайте ключевой носитель для ремонта, настройки или проверки компьютера посторонним лицам.</p>
    <p>3.6. Не оставляйте без присмотра компьютер с подключённым ключевым носителем; блокируйте сеанс работы, покидая рабочее место.</p>
    <p>3.7. При увольнении или смене полномочий владельца сертификата ключевой носитель передаётся для уничтожения ключа, а сертификат подлежит прекращению.</p>

    <p class="sec">4.&#9;Действия при компрометации или подозрении на компрометацию ключевой информации</p>
    <p>4.1. К компрометации ключа относятся утрата или хищение ключевого носителя, в том числе с последующим обнаружением, доступ к ключу посторонних лиц, разглашение PIN-кода, а также иные обстоятельства, при которых нельзя исключить использование ключа без ведома владельца.</p>
    <p>4.2. При компрометации или подозрении на неё немедленно прекратите использование ключа электронной подписи.</p>
    <p>4.3. Незамедлительно обратитесь в Удостоверяющий центр с заявлением о прекращении действия сертификата, по телефону или лично.</p>
    <p>4.4. Не используйте скомпрометированный ключ и сертификат до получения подтверждения о прекращении действия сертификата; для продолжения работы получите новый сертификат с новым ключом.</p>
    <p>4.5. Сообщите о компрометации организациям и информационным системам, в которых вы использовали сертификат.</p>

    <p class="sec">5.&#9;Риски, связанные с использованием электронной подписи.</p>
    <p>5.1. Электронный документ, подписанный квалифицированной ЭП, признаётся равнозначным документу на бумажном носителе, подписанному собственноручной подписью; все последствия подписания несёт владелец сертификата.</p>
    <p>5.2. При доступе посторонних лиц к ключу электронной подписи от имени владельца могут быть подписаны документы, в том числе финансовые и имеющие юридическую силу.</p>
    <p>5.3. Вредоносные программы на компьютере могут подменить подписываемый документ или перехватить PIN-код; соблюдение мер раздела 2 снижает этот риск.</p>
    <p>5.4. Нарушение правил хранения носителя может привести к его повреждению и к невозможности пользоваться ЭП до выпуска нового сертификата.</p>

    <p class="sec">6.&#9;Заключительные положения.</p>
    <p>6.1. Владелец сертификата самостоятельно обеспечивает выполнение мер, изложенных в настоящем руководстве.</p>
    <p>6.2. Удостоверяющий центр не несёт ответственности за последствия, возникшие вследствие несоблюдения владельцем сертификата настоящего руководства.</p>
    <p>6.3. Сведения о статусе сертификата можно проверить по списку отозванных сертификатов или службе актуальных статусов, адреса которых указаны в сертификате.</p>
    <p>6.4. Заблаговременно, до окончания срока действия сертификата, обратитесь в Удостоверяющий центр для получения нового сертификата.</p>
    <p>6.5. По вопросам использования ЭП и средств ЭП обращайтесь в службу поддержки Удостоверяющего центра.</p>
    <p>6.6. Подписывая настоящий бланк, владелец сертификата подтверждает, что ознакомлен с руководством и обязуется его соблюдать.</p>
  </xsl:template>

  <xsl:template match="text()"/>
</xsl:stylesheet>
