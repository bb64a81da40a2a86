#include "ui/app_art.h"

// The resources live in a static library; referencing their initialiser
// keeps the linker from dropping them. (Must not sit in a namespace: the
// macro declares the initialiser where it is used.)
static void EnsureArtResources() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(rtqflash);
        return true;
    }();
    (void)loaded;
}

QIcon FlashIcon() {
    EnsureArtResources();
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addFile(QStringLiteral(":/rtqflash/icon_%1.png").arg(size));
    return icon;
}

QPixmap AboutBitmap() {
    EnsureArtResources();
    return QPixmap(QStringLiteral(":/rtqflash/about.png"));
}
