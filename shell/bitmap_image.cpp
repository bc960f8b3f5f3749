#include "shell/bitmap_image.h"

#include "platform/bitmap.h"

namespace quadrel {

QImage imageOf(const Bitmap& bitmap) {
    const uchar* data = bitmap.row(0);
    switch (bitmap.pixelFormat()) {
    case PixelFormat::Argb32:
        return QImage(data, bitmap.width(), bitmap.height(), bitmap.stride(), QImage::Format_ARGB32);
    case PixelFormat::Rgb32:
        return QImage(data, bitmap.width(), bitmap.height(), bitmap.stride(), QImage::Format_RGB32);
    case PixelFormat::Indexed8: {
        QImage image(data, bitmap.width(), bitmap.height(), bitmap.stride(), QImage::Format_Indexed8);
        QList<QRgb> table;
        const int count = bitmap.paletteCount() > 0 ? bitmap.paletteCount() : 256;
        for (int i = 0; i < count && i < 256; ++i)
            table.push_back(bitmap.paletteCount() > 0 ? bitmap.palette()[static_cast<size_t>(i)] : qRgb(i, i, i));
        image.setColorTable(table);
        return image;
    }
    default:
        return {};
    }
}

} // namespace quadrel
