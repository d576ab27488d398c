// Modal dialogs from the program's templates, and the exchange of values
// between their controls and the dialog object's members.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win/window.h"

namespace qv::win {

// One transfer between the controls and the members. The first field that
// does not validate stops it: later fields are left as they are.
class CDataExchange {
 public:
  CDataExchange(HWND dialog, bool save) : m_hDlg(dialog), m_bSave(save) {}
  bool Saving() const { return m_bSave; }
  bool Failed() const { return m_bFailed; }

  // Check box: 0, 1 (or 2 for the third state).
  void Check(int id, int32_t& value);
  // Radio group starting at firstId: the index of the checked button, -1 for none.
  void Radio(int firstId, int32_t& value);
  // Selection index of a list box or a combo box: -1 for none.
  void ListIndex(int id, int32_t& value);
  void ComboIndex(int id, int32_t& value);
  // An unsigned decimal number; a text that is not one shows the message
  // box, puts the focus on the field and fails the transfer.
  void UnsignedNumber(int id, int32_t& value);

 private:
  HWND Item(int id) const { return ::GetDlgItem(m_hDlg, id); }
  HWND m_hDlg;
  bool m_bSave;
  bool m_bFailed = false;
};

class CDialog : public CWnd {
 public:
  CDialog(int templateId, HWND parent) : m_nTemplate(templateId), m_hParent(parent) {}

  // Runs the dialog; IDOK, IDCANCEL or another EndDialog code, -1 when the
  // dialog could not be made.
  INT_PTR DoModal();
  void EndDialog(INT_PTR result);
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  // Controls to members (save) or members to controls; false when a field
  // did not validate.
  bool UpdateData(bool save);

 protected:
  // The members into the controls; true to let the system set the focus.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange& dx);
  // OK transfers and closes; Cancel (Escape, the close box) only closes.
  virtual void OnOK();
  virtual void OnCancel();
  bool OnCommand(UINT id, UINT notifyCode) override;
  // Static controls that colour themselves (links) are asked first.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  int m_nTemplate;
  HWND m_hParent;
};

}  // namespace qv::win
