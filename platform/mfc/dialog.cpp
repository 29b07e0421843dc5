#include "platform/mfc/dialog.h"

#include "platform/mfc/win_app.h"
#include "platform/ui/resources.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal()
{
    HINSTANCE resources = AfxGetResourceHandle();
    const dravenlok::ui::DialogTemplate* dialog =
        resources != nullptr ? resources->FindDialog(static_cast<int>(m_lpszTemplateName)) : nullptr;
    if (dialog == nullptr) {
        return -1;
    }
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    const INT_PTR result = ::DialogBoxIndirectParamA(resources, dialog, owner, &CWnd::AfxWndProc,
                                                     reinterpret_cast<LPARAM>(static_cast<CWnd*>(this)));
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::OnCmdMsg(UINT id, UINT code)
{
    if (CWnd::OnCmdMsg(id, code) != FALSE) {
        return TRUE;
    }
    // Commands the dialog does not handle go on to the application
    // (ID_HELP to CWinApp::OnHelp).
    CWinApp* app = AfxGetApp();
    return app != nullptr ? app->OnCmdMsg(id, code) : FALSE;
}

LRESULT CDialog::HandleInitDialog(WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog()
{
    static_cast<void>(UpdateData(FALSE));
    return TRUE;
}

void CDialog::EndDialog(int result)
{
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE) != FALSE) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange* /*exchange*/)
{
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefDlgProcA(m_hWnd, message, wParam, lParam);
}
