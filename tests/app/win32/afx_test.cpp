// The class library's message dispatch: whether a message gets the window's
// default processing is decided per message, even when another message is
// dispatched to the same window inside its handler (a repaint under a modal
// box).
#include <windows.h>

#include <gtest/gtest.h>

#include "app/win32/afx.h"
#include "res/resource.h"

namespace {

// On opening, sends itself SC_CLOSE; its handler sends WM_PAINT inside.
// Each handler asks for default processing or not as the case says. Then OK
// is posted: the dialog ends with IDCANCEL only when SC_CLOSE got the
// default processing, which closes the dialog.
class NestingDialog : public CDialog {
public:
    NestingDialog(bool closeDefault, bool paintDefault)
        : CDialog(IDD_ABOUTBOX), m_closeDefault(closeDefault), m_paintDefault(paintDefault) {}

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SendMessage(WM_SYSCOMMAND, SC_CLOSE);
        ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return TRUE;
    }

    void OnSysCommand(UINT, LPARAM) {
        if (m_closeDefault) Default();
        SendMessage(WM_PAINT);
    }

    void OnPaint() {
        if (m_paintDefault) {
            Default();
            return;
        }
        PAINTSTRUCT paint;
        ::BeginPaint(m_hWnd, &paint);
        ::EndPaint(m_hWnd, &paint);
    }

    DECLARE_MESSAGE_MAP()

private:
    bool m_closeDefault;
    bool m_paintDefault;
};

BEGIN_MESSAGE_MAP(NestingDialog, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
END_MESSAGE_MAP()

TEST(MessageDispatch, DefaultProcessingIsDecidedPerMessage) {
    const struct {
        bool closeDefault, paintDefault;
        INT_PTR result;
    } cases[] = {
        {false, true, IDOK},      // the inner default does not close
        {true, false, IDCANCEL},  // the inner handled message does not cancel the outer default
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.closeDefault << c.paintDefault);
        NestingDialog dialog(c.closeDefault, c.paintDefault);
        EXPECT_EQ(dialog.DoModal(), c.result);
    }
}

}  // namespace
