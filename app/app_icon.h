#pragma once

#include <QIcon>
#include <QImage>

namespace tilvane {

// The application icon, drawn rather than stored: a sheet on which four
// sprites lie packed, with the packer's grid lines. Every size is drawn for
// itself, so small sizes stay sharp.
QImage drawAppIcon(int size);

// The icon at the sizes a desktop asks for (16 to 256 pixels).
QIcon appIcon();

}  // namespace tilvane
