#pragma once
// The connected screens from QGuiApplication: primary first, then the others in
// Qt's order; name = the model when known, else the connector name; frame =
// geometry(). Emits changed() when a screen comes, goes, becomes primary or
// changes geometry. Main thread only.

#include "platform/Screens.h"

class QScreen;

class QtScreens final : public Screens {
    Q_OBJECT
public:
    explicit QtScreens(QObject* parent = nullptr);
    QList<ScreenInfo> list() const override;

private:
    void watch(QScreen* screen);
};
