// Modal dialogs made from a template of the application's resources.
#pragma once

#include "platform/mfc/wnd.h"

class CDialog;

// The context of one data exchange between a dialog and its controls.
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) noexcept
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog)
    {
    }
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) noexcept
        : m_nIDHelp(templateId), m_lpszTemplateName(templateId), m_pParentWnd(parent)
    {
    }
    ~CDialog() override = default;

    // Creates the dialog from template `templateId` of the resource module
    // (AfxGetResourceHandle), runs it until EndDialog and answers EndDialog's
    // result; -1 when it cannot be created.
    virtual INT_PTR DoModal();

    // Runs once the controls exist: exchanges data into the controls
    // (UpdateData(FALSE)). TRUE lets the system focus the first tab stop.
    virtual BOOL OnInitDialog();

    // Ends the modal loop once the current message is handled.
    void EndDialog(int result);

    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // IDOK and IDCANCEL: exchange data back and end with IDOK; end with IDCANCEL.
    virtual void OnOK();
    virtual void OnCancel();

    // Commands the dialog's map does not handle go on to the application.
    BOOL OnCmdMsg(UINT id, UINT code) override;

    UINT m_nIDHelp;

    DECLARE_MESSAGE_MAP()

protected:
    virtual void DoDataExchange(CDataExchange* exchange);
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

public:
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);

private:
    UINT m_lpszTemplateName;
    CWnd* m_pParentWnd;
};
