#include "library/show_settings.h"

namespace qv {

CShowSettings::CShowSettings() { ResetStoredScalars(); }

void CShowSettings::ResetStoredScalars() {
  for (const auto& field : kSettingsFields) this->*field.member = field.defaultValue;
}

const CSettingsField* FindSettingsField(const std::string& name) {
  for (const auto& field : kSettingsFields) {
    if (name == field.name) return &field;
  }
  return nullptr;
}

}  // namespace qv
