// What the request-data dialog shows and hands back, without a toolkit: the texts prepared
// from the application at construction, the subject rows in the label table's order (first
// occurrence of each OID only) and the subject and alternative-name lists built when the
// dialog initialises.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "request/attribute_list.h"
#include "request/request_data.h"

namespace orvane::request {

// The labelled subject attributes, in display order: OID and Russian label.
const std::vector<std::pair<std::u16string, std::u16string>>& SubjectLabels();

struct PropertyRow {
  std::u16string label;  // "Параметр"
  std::u16string value;  // "Значение"
};

class RequestPropertiesModel {
 public:
  // Prepares the texts; with no record they stay empty.
  explicit RequestPropertiesModel(std::shared_ptr<const remoteRequestData> data);

  // Parses the subject and the alternative name and fills the rows (once per dialog run).
  void Initialise();

  std::u16string numberText;         // "%s / %d": request_id and ord
  std::u16string signatureTypeText;  // template
  std::u16string exportText;         // "РАЗРЕШЕН" / "ЗАПРЕЩЕН"
  std::u16string gostText;           // "2001", "2012-256", "2012-512"
  std::u16string carrierText;        // set by the caller: the carrier's display text
  std::u16string providerText;       // set by the caller: the family's name

  const std::vector<PropertyRow>& Rows() const { return rows_; }
  const std::optional<AttributeList>& Subject() const { return subject_; }
  const std::optional<AttributeList>& AltName() const { return altName_; }

 private:
  std::shared_ptr<const remoteRequestData> data_;
  std::vector<PropertyRow> rows_;
  std::optional<AttributeList> subject_;
  std::optional<AttributeList> altName_;
};

}  // namespace orvane::request
