#pragma once
// The connected screens, main screen first, and a signal when they change.

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

struct ScreenInfo {
    QString name;  // the model when known, else the connector name
    QRect frame;   // full frame in global coordinates
    bool operator==(const ScreenInfo&) const = default;
};

class Screens : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual QList<ScreenInfo> list() const = 0;

signals:
    void changed();
};
