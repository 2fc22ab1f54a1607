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
    return "Tilvane is free software under the MIT licence: the file LICENSE of its\n"
           "source, installed as /usr/share/doc/tilvane/copyright.\n"
           "\n"
           "Tilvane is built on these libraries, each under its own licence:\n"
           "\n"
           "  Qt 6: The Qt Company Ltd. and contributors; GNU LGPL version 3.\n"
           "  libpng: the PNG Reference Library Authors;\n"
           "      PNG Reference Library License version 2.\n"
           "  libjpeg-turbo: the libjpeg-turbo Project, based in part on the work of\n"
           "      the Independent JPEG Group; IJG licence (BSD-style).\n"
           "  libtiff: Sam Leffler and Silicon Graphics, Inc.; the libtiff licence\n"
           "      (use, copy, modify, distribute and sell, with the notices kept).\n"
           "  giflib: Eric S. Raymond and contributors; MIT licence.\n"
           "  libwebp: Google Inc.; BSD 3-Clause licence.\n"
           "  zlib: Jean-loup Gailly and Mark Adler; zlib licence.\n"
           "  libdeflate: Eric Biggers and contributors; MIT licence.\n"
           "  pixman: Keith Packard, Red Hat, Inc. and contributors; MIT licence.\n"
           "  CLI11: Henry Schreiner and contributors (tilvane-pack only);\n"
           "      BSD 3-Clause licence.\n"
           "\n"
           "These libraries are provided \"as is\", without warranty of any kind.\n"
           "Their full licence texts come with them, usually under\n"
           "/usr/share/doc/<package>/copyright.";
}

}  // namespace tilvane
