// The message box on screen. Qt's own QMessageBox grows with its text past
// the screen's edge (a 100000-character text makes it thousands of pixels
// tall, its OK button out of reach), so the box is built here: the icon, the
// text in a read-only plain-text view that wraps and scrolls, and one OK
// button that always stays on screen.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextOption>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/ui/message_box.h"
#include "platform/ui/qt_internal.h"

namespace dravenlok::ui {

namespace {

constexpr unsigned kIconMask = 0x00F0;
constexpr unsigned kIconHand = 0x0010;
constexpr unsigned kIconQuestion = 0x0020;
constexpr unsigned kIconAsterisk = 0x0040;

QStyle::StandardPixmap BoxIcon(unsigned style)
{
    switch (style & kIconMask) {
    case kIconHand:
        return QStyle::SP_MessageBoxCritical;
    case kIconQuestion:
        return QStyle::SP_MessageBoxQuestion;
    case kIconAsterisk:
        return QStyle::SP_MessageBoxInformation;
    default:
        return QStyle::SP_MessageBoxWarning;
    }
}

QString FromAnsi(std::string_view text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// The widest line of `text` in pixels, stopping at `cap`.
int NaturalWidth(const QString& text, const QFontMetrics& metrics, int cap)
{
    int widest = 0;
    qsizetype start = 0;
    while (start <= text.size() && widest < cap) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0) {
            end = text.size();
        }
        // A line far longer than the cap is wider than the cap anyway.
        const qsizetype length = std::min<qsizetype>(end - start, 4 * cap);
        widest = std::max(widest, metrics.horizontalAdvance(text.mid(start, length)));
        start = end + 1;
    }
    return std::min(widest, cap);
}

class QtMessageBoxPresenter final : public MessageBoxPresenter {
public:
    int Present(const MessageBoxRequest& request) override
    {
        EnsureApplication();
        Window* owner = RunningDialogs().empty() ? nullptr : RunningDialogs().back();

        QDialog box;
        box.setWindowTitle(FromAnsi(request.caption));
        box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);
        box.setWindowModality(Qt::ApplicationModal);
        box.setObjectName(QStringLiteral("dravenlokMessageBox"));

        auto* icon = new QLabel(&box);
        const int iconSize = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        icon->setPixmap(box.style()->standardIcon(BoxIcon(request.style), nullptr, &box).pixmap(iconSize, iconSize));
        icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

        // Plain text, never markup; wraps at word boundaries, or anywhere
        // in a word longer than the line.
        const QString text = FromAnsi(request.text);
        auto* view = new QTextEdit(&box);
        view->setObjectName(QStringLiteral("text"));
        view->setReadOnly(true);
        view->setAcceptRichText(false);
        view->setPlainText(text);
        view->setFrameShape(QFrame::NoFrame);
        view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        view->setLineWrapMode(QTextEdit::WidgetWidth);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        view->viewport()->setAutoFillBackground(false);
        view->setFocusPolicy(Qt::ClickFocus);

        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
        buttons->setCenterButtons(true);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
        QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
        ok->setDefault(true);
        ok->setFocus(Qt::OtherFocusReason);

        auto* row = new QHBoxLayout;
        row->addWidget(icon, 0, Qt::AlignTop);
        row->addWidget(view, 1);
        auto* layout = new QVBoxLayout(&box);
        layout->addLayout(row);
        layout->addWidget(buttons);
        layout->setSizeConstraint(QLayout::SetFixedSize);

        SizeText(box, *view, text, iconSize, *buttons);
        SetTransientOwner(box, owner);
        PlaceOnScreen(box, owner);

        // The owner takes no input while the box is open. Disabling it takes
        // the focus from its control; when the box closes the owner is
        // activated again and that control gets the focus back, as on
        // Windows, so the keyboard goes on where it was.
        const bool disableOwner = owner != nullptr && owner->widget != nullptr && owner->widget->isEnabled();
        const QPointer<QWidget> ownerFocus = disableOwner ? owner->widget->focusWidget() : nullptr;
        if (disableOwner) {
            owner->widget->setEnabled(false);
        }
        box.exec();
        if (disableOwner && Live(owner) != nullptr && owner->widget != nullptr) {
            owner->widget->setEnabled(true);
            owner->widget->activateWindow();
            if (ownerFocus != nullptr && ownerFocus->isEnabled()) {
                ownerFocus->setFocus(Qt::ActiveWindowFocusReason);
            }
        }
        return IDOK;
    }

private:
    static QRect ScreenArea()
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 640, 480);
    }

    // The text area as wide as the widest line (within a third of the screen
    // width and at least a few words), as tall as the wrapped text; when the
    // whole box would not fit the screen, the text scrolls and the box
    // keeps to the screen with its OK button.
    static void SizeText(QDialog& box, QTextEdit& view, const QString& text, int iconSize,
                         const QDialogButtonBox& buttons)
    {
        const QRect area = ScreenArea();
        const QFontMetrics metrics(view.font());
        const int margin = static_cast<int>(view.document()->documentMargin());
        const int minWidth = std::min(metrics.averageCharWidth() * 30, area.width() / 2);
        const int maxWidth = std::max(minWidth, area.width() / 3);
        const int width = std::clamp(NaturalWidth(text, metrics, maxWidth) + 2 * margin + 2, minWidth, maxWidth);

        QTextDocument measure;
        measure.setDefaultFont(view.font());
        measure.setDocumentMargin(margin);
        QTextOption option = measure.defaultTextOption();
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        measure.setDefaultTextOption(option);
        measure.setPlainText(text);
        measure.setTextWidth(width);
        const int textHeight = static_cast<int>(measure.size().height() + 0.5) + 2;

        // Everything but the text: margins, spacing, the button row, and room
        // for a title bar the window system adds outside the client area.
        const QMargins margins = box.layout()->contentsMargins();
        const int spacing = std::max(0, box.layout()->spacing());
        const int titleBar = box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
        const int chrome = margins.top() + margins.bottom() + spacing + buttons.sizeHint().height() + titleBar;
        const int available = std::max(metrics.height() * 3, area.height() - chrome);

        const int height = std::max(std::min(textHeight, available), iconSize);
        if (textHeight > available) {
            view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            const int bar = box.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view);
            view.setFixedSize(width + bar, height);
        } else {
            view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            view.setFixedSize(width, height);
        }
    }

    static void PlaceOnScreen(QDialog& box, const Window* owner)
    {
        box.adjustSize();
        const QRect area = ScreenArea();
        QRect frame(QPoint(0, 0), box.size());
        if (owner != nullptr && owner->widget != nullptr && owner->widget->isVisible()) {
            frame.moveCenter(owner->widget->frameGeometry().center());
        } else {
            frame.moveCenter(area.center());
        }
        // Keep it inside the screen.
        frame.moveLeft(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() - frame.width() + 1)));
        frame.moveTop(std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() - frame.height() + 1)));
        box.move(frame.topLeft());
    }
};

}  // namespace

MessageBoxPresenter& QtPresenter()
{
    static QtMessageBoxPresenter presenter;
    return presenter;
}

}  // namespace dravenlok::ui
