#include "res/Pictures.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a global function, so it can't be used inside the namespace.
static void loadResources() {
    Q_INIT_RESOURCE(resources);
}

namespace velkar {

void LoadPictures() {
    loadResources();
}

} // namespace velkar
