#include "app/atlas_app.h"

int main(int argc, char** argv) {
    tilvane::AtlasApp app(argc, argv);
    return app.run();
}
