#include "request/request_properties.h"

#include "text/text.h"

namespace orvane::request {

const std::vector<std::pair<std::u16string, std::u16string>>& SubjectLabels() {
  static const std::vector<std::pair<std::u16string, std::u16string>> labels = {
      {u"2.5.4.3", u"Общее имя"},
      {u"2.5.4.4", u"Фамилия"},
      {u"2.5.4.42", u"Имя, отчество"},
      {u"2.5.4.6", u"Страна"},
      {u"2.5.4.8", u"Регион"},
      {u"2.5.4.7", u"Населенный пункт"},
      {u"2.5.4.9", u"Адрес"},
      {u"2.5.4.10", u"Организация"},
      {u"2.5.4.11", u"Подразделение"},
      {u"2.5.4.12", u"Должность"},
      {u"1.2.840.113549.1.9.1", u"E-Mail"},
      {u"1.2.643.3.131.1.1", u"ИНН"},
      {u"1.2.643.100.1", u"ОГРН"},
      {u"1.2.643.100.3", u"СНИЛС"},
      {u"1.2.643.100.4", u"ИНН ЮЛ"},
      {u"1.2.643.100.5", u"ОГРНИП"},
      {u"1.2.840.113549.1.9.2", u"Неструктурированное имя"},
      {u"1.2.643.3.141.1.1", u"РНС ФСС"},
      {u"1.2.643.3.141.1.2", u"КП ФСС"},
  };
  return labels;
}

RequestPropertiesModel::RequestPropertiesModel(std::shared_ptr<const remoteRequestData> data) : data_(std::move(data)) {
  if (!data_) return;
  exportText = data_->export_ ? u"РАЗРЕШЕН" : u"ЗАПРЕЩЕН";
  numberText = data_->request_id.value_or(u"") + u" / " +
               text::FromUtf8(std::to_string(static_cast<std::int32_t>(data_->ord)));  // "%d"
  signatureTypeText = data_->template_.value_or(u"");
  switch (data_->cryptoStandart) {
    case 0:
      gostText = u"2001";
      break;
    case 1:
      gostText = u"2012-256";
      break;
    case 2:
      gostText = u"2012-512";
      break;
    default:
      break;
  }
}

void RequestPropertiesModel::Initialise() {
  rows_.clear();
  subject_.reset();
  altName_.reset();
  if (!data_) return;
  subject_ = ParseAttributeList(data_->subject_quoted);
  altName_ = ParseAttributeList(data_->subjectAltName);
  if (!subject_) return;
  for (const auto& [oid, label] : SubjectLabels()) {
    for (const auto& entry : *subject_) {
      if (!entry || entry->oid != oid) continue;
      if (entry->display) rows_.push_back({label, *entry->display});
      break;  // first occurrence only
    }
  }
}

}  // namespace orvane::request
