// Placeholder Qt presenter; the scrolling box replaces it.
#include <QMessageBox>
#include <QString>

#include "platform/ui/message_box.h"

namespace dravenlok::ui {

namespace {
class QtMessageBoxPresenter final : public MessageBoxPresenter {
public:
    int Present(const MessageBoxRequest& request) override
    {
        QMessageBox box(QMessageBox::Warning,
                        QString::fromLocal8Bit(request.caption.data(), static_cast<qsizetype>(request.caption.size())),
                        QString::fromLocal8Bit(request.text.data(), static_cast<qsizetype>(request.text.size())),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return 1;
    }
};
}  // namespace

MessageBoxPresenter& QtPresenter()
{
    static QtMessageBoxPresenter presenter;
    return presenter;
}

}  // namespace dravenlok::ui
