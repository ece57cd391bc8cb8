// The picture behind a CBitmap or an image of a CImageList.
#pragma once

#include <QImage>

namespace ce::ui {

struct ImageData {
    QImage image;
};

}  // namespace ce::ui
