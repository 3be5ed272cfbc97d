#pragma once
// The control panel's list of connected screens (main screen first) with the
// user's choice; follows display-configuration changes. Main thread only.

#include <QList>
#include <QObject>
#include <QPointer>
#include <optional>

#include "platform/Screens.h"

class ScreenList : public QObject {
    Q_OBJECT
    Q_PROPERTY(int selectedIndex READ selectedIndex WRITE setSelectedIndex NOTIFY selectedIndexChanged)

public:
    // Reads the list now and again on every change of `screens` while both exist.
    explicit ScreenList(Screens& screens, QObject* parent = nullptr);

    const QList<ScreenInfo>& all() const { return m_all; }
    int selectedIndex() const { return m_selectedIndex; }
    void setSelectedIndex(int index);
    // The selected screen; the first one when the selection points past the end;
    // none only when no screen is connected.
    std::optional<ScreenInfo> current() const;

signals:
    void allChanged();
    void selectedIndexChanged();

private:
    void screensChanged();

    QPointer<Screens> m_screens;
    QList<ScreenInfo> m_all;
    int m_selectedIndex = 0;
};
