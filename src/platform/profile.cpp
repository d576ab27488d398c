#include "platform/profile.h"

#include "platform/paths.h"

namespace qv {

CProfile::CProfile(std::string company, std::string application)
    : m_strCompany(std::move(company)),
      m_strApplication(application.empty() ? GetProgramName() : std::move(application)) {}

}  // namespace qv
