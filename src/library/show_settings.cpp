#include "library/show_settings.h"

namespace qv {

CShowSettings::CShowSettings() { ResetStoredScalars(); }

void CShowSettings::ResetStoredScalars() {
  for (const auto& field : kSettingsFields) this->*field.member = field.defaultValue;
}

CShowSettings CShowSettings::ScalarsOnly() const {
  CShowSettings copy;
  for (const auto& field : kSettingsFields) copy.*field.member = this->*field.member;
  copy.m_nCounter = m_nCounter;
  copy.m_bAutoRotate = m_bAutoRotate;
  copy.m_nMonitorMask = m_nMonitorMask;
  copy.m_bMatchShape = m_bMatchShape;
  return copy;
}

const CSettingsField* FindSettingsField(const std::string& name) {
  for (const auto& field : kSettingsFields) {
    if (name == field.name) return &field;
  }
  return nullptr;
}

}  // namespace qv
