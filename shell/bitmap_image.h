#pragma once

#include <QImage>

namespace quadrel {

class Bitmap;

// A QImage over the bitmap's own pixels (no copy): valid only while the bitmap lives and is not changed.
// 32-bit pixels are the word 0xAARRGGBB, which is QImage's ARGB32; 8-bit images keep their colour table.
QImage imageOf(const Bitmap& bitmap);

} // namespace quadrel
