#include "platform/win/dialog.h"

#include <exception>

#include "platform/number_field.h"

namespace qv::win {

// ---- CDataExchange ---------------------------------------------------------

void CDataExchange::Check(int id, int32_t& value) {
  if (m_bFailed) return;
  if (m_bSave)
    value = static_cast<int32_t>(::SendMessageA(Item(id), BM_GETCHECK, 0, 0));
  else
    ::SendMessageA(Item(id), BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void CDataExchange::Radio(int firstId, int32_t& value) {
  if (m_bFailed) return;
  HWND button = Item(firstId);
  if (m_bSave) value = -1;
  // The group runs from the first button to the next control that starts a
  // group of its own.
  for (int32_t index = 0; button; ++index) {
    if (m_bSave) {
      if (::SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
    } else {
      ::SendMessageA(button, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    button = ::GetWindow(button, GW_HWNDNEXT);
    if (button && (::GetWindowLongA(button, GWL_STYLE) & WS_GROUP)) break;
  }
}

void CDataExchange::ListIndex(int id, int32_t& value) {
  if (m_bFailed) return;
  if (m_bSave)
    value = static_cast<int32_t>(::SendMessageA(Item(id), LB_GETCURSEL, 0, 0));  // LB_ERR is -1
  else
    ::SendMessageA(Item(id), LB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void CDataExchange::ComboIndex(int id, int32_t& value) {
  if (m_bFailed) return;
  if (m_bSave)
    value = static_cast<int32_t>(::SendMessageA(Item(id), CB_GETCURSEL, 0, 0));  // CB_ERR is -1
  else
    ::SendMessageA(Item(id), CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void CDataExchange::UnsignedNumber(int id, int32_t& value) {
  if (m_bFailed) return;
  const HWND edit = Item(id);
  if (!m_bSave) {
    ::SetWindowTextA(edit, FormatUnsignedField(static_cast<uint32_t>(value)).c_str());
    return;
  }
  // The field is read from its first 31 characters.
  char text[32] = {};
  ::GetWindowTextA(edit, text, sizeof text);
  uint32_t number = 0;
  if (ParseUnsignedField(text, number)) {
    value = static_cast<int32_t>(number);
    return;
  }
  ShowMessageBox(m_hDlg, kNotAPositiveInteger, MB_OK | MB_ICONEXCLAMATION);
  ::SetFocus(edit);
  ::SendMessageA(edit, EM_SETSEL, 0, -1);
  m_bFailed = true;
}

// ---- CDialog ---------------------------------------------------------------

INT_PTR CDialog::DoModal() {
  return ::DialogBoxParamA(ProgramInstance(), MAKEINTRESOURCEA(m_nTemplate), m_hParent, &CDialog::StaticDialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  // From here the dialog's messages go through the object (a subclass of
  // the dialog); what its handlers leave reaches the dialog manager, and so
  // this procedure, which leaves everything but the start to the system.
  auto* self = reinterpret_cast<CDialog*>(lParam);
  if (!self || !self->SubclassWindow(window)) {
    // Without its object nothing could close the dialog: it ends at once.
    ::EndDialog(window, -1);
    return TRUE;
  }
  // This procedure is called by the system too: nothing may unwind past it.
  try {
    return self->OnInitDialog();
  } catch (const std::exception& failure) {
    LogFailedMessage(message, failure.what());
  } catch (...) {
    LogFailedMessage(message, "unknown exception");
  }
  return TRUE;
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

bool CDialog::UpdateData(bool save) {
  CDataExchange dx(m_hWnd, save);
  DoDataExchange(dx);
  return !dx.Failed();
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange&) {}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCommand(UINT id, UINT) {
  switch (id) {
    case IDOK:
      OnOK();
      return true;
    case IDCANCEL:
      OnCancel();
      return true;
    default:
      return false;
  }
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CTLCOLORSTATIC) {
    if (CWnd* control = FromHandle(reinterpret_cast<HWND>(lParam))) {
      if (const HBRUSH brush = control->OnReflectedCtlColor(reinterpret_cast<HDC>(wParam)))
        return reinterpret_cast<LRESULT>(brush);
    }
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

}  // namespace qv::win
