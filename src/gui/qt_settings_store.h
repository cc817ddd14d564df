// The operator settings in QSettings (organisation "Talvik", application "Orvane").
#pragma once

#include <QSettings>

#include "platform/settings_store.h"

namespace orvane::gui {

class QtSettingsStore : public platform::SettingsStore {
 public:
  QtSettingsStore() : settings_(QStringLiteral("Talvik"), QStringLiteral("Orvane")) {}
  bool Available() override { return settings_.status() == QSettings::NoError; }
  std::optional<std::vector<std::uint8_t>> ReadBinary(const std::string& name) override {
    const QVariant v = settings_.value(QString::fromStdString(name));
    if (!v.isValid()) return std::nullopt;
    const QByteArray b = v.toByteArray();
    return std::vector<std::uint8_t>(b.begin(), b.end());
  }
  std::optional<std::uint32_t> ReadNumber(const std::string& name) override {
    const QVariant v = settings_.value(QString::fromStdString(name));
    if (!v.isValid()) return std::nullopt;
    return v.toUInt();
  }
  bool WriteBinary(const std::string& name, const std::vector<std::uint8_t>& value) override {
    settings_.setValue(QString::fromStdString(name),
                       QByteArray(reinterpret_cast<const char*>(value.data()), static_cast<qsizetype>(value.size())));
    settings_.sync();
    return settings_.status() == QSettings::NoError;
  }
  bool WriteNumber(const std::string& name, std::uint32_t value) override {
    settings_.setValue(QString::fromStdString(name), value);
    settings_.sync();
    return settings_.status() == QSettings::NoError;
  }

 private:
  QSettings settings_;
};

}  // namespace orvane::gui
