#include "app/credits.h"

namespace tilvane {

std::string aboutNoticeLine() {
    return "Free software; see the notices below.";
}

std::string aboutSummaryText() {
    return "Packs a folder of images into one atlas image\n"
           "and writes where every image lies.";
}

std::string aboutCreditsText() {
    return "Tilvane is built on these libraries, each under its own licence:\n"
           "\n"
           "  Qt 6\tThe Qt Company Ltd. and contributors; GNU LGPL version 3.\n"
           "  libpng\tGlenn Randers-Pehrson, the PNG Reference Library Authors;\n"
           "\tPNG Reference Library License version 2.\n"
           "  libjpeg-turbo\tThe libjpeg-turbo Project; based in part on the work of\n"
           "\tthe Independent JPEG Group (IJG licence, BSD-style).\n"
           "  libtiff\tSam Leffler, Silicon Graphics, Inc.; the libtiff licence\n"
           "\t(permission to use, copy, modify, distribute and sell).\n"
           "  giflib\tEric S. Raymond and contributors; MIT licence.\n"
           "  zlib\tJean-loup Gailly and Mark Adler; zlib licence.\n"
           "  CLI11\tHenry Schreiner and contributors (tilvane-pack only);\n"
           "\tBSD 3-Clause licence.\n"
           "\n"
           "These libraries are provided \"as is\", without warranty of any kind.\n"
           "Their full licence texts are installed with them, usually under\n"
           "/usr/share/doc/<package>/copyright.";
}

}  // namespace tilvane
