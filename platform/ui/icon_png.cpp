#include "platform/ui/icon_png.h"

#include <QImage>
#include <QString>

#include "platform/ui/qt_internal.h"

namespace dravenlok::ui {

namespace {

constexpr int kLargestPng = 1024;

}  // namespace

bool SaveIconPng(const IconImage& image, int size, const std::string& path)
{
    if (size < 1 || size > kLargestPng) {
        return false;
    }
    const QImage decoded = DecodeIconImage(image);
    if (decoded.isNull()) {
        return false;
    }
    // Qt::FastTransformation is nearest-neighbour sampling: every source
    // pixel becomes a block of one colour, no blended edges.
    const QImage scaled = decoded.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return scaled.save(QString::fromStdString(path), "PNG");
}

}  // namespace dravenlok::ui
