#include "show/rest_state.h"

namespace qv {

bool CRestState::Change(bool& field, bool value) {
  const bool before = Resting();
  field = value;
  return Resting() != before;
}

}  // namespace qv
