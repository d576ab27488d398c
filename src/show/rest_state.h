// When the shows rest: nobody can see them (the session is locked or
// disconnected, the display is off), or the machine runs on battery and the
// user asked the shows to spare it. Each change says whether the shows must
// stop now or start again with a fresh picture.
#pragma once

namespace qv {

class CRestState {
 public:
  // Each returns true when Resting() changed with it.
  bool SetLocked(bool locked) { return Change(m_bLocked, locked); }
  bool SetDisplayOff(bool off) { return Change(m_bDisplayOff, off); }
  bool SetOnBattery(bool onBattery) { return Change(m_bOnBattery, onBattery); }
  bool SetPauseOnBattery(bool pause) { return Change(m_bPauseOnBattery, pause); }

  bool Resting() const { return m_bLocked || m_bDisplayOff || (m_bOnBattery && m_bPauseOnBattery); }
  bool DisplayOff() const { return m_bDisplayOff; }

 private:
  bool Change(bool& field, bool value);

  bool m_bLocked = false;
  bool m_bDisplayOff = false;
  bool m_bOnBattery = false;
  bool m_bPauseOnBattery = true;
};

}  // namespace qv
