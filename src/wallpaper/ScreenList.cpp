#include "wallpaper/ScreenList.h"

ScreenList::ScreenList(Screens& screens, QObject* parent)
    : QObject(parent), m_screens(&screens), m_all(screens.list())
{
    // `this` as context: a change after the list is gone reaches nobody.
    connect(&screens, &Screens::changed, this, &ScreenList::screensChanged);
}

void ScreenList::setSelectedIndex(int index)
{
    if (index == m_selectedIndex)
        return;
    m_selectedIndex = index;
    emit selectedIndexChanged();
}

std::optional<ScreenInfo> ScreenList::current() const
{
    if (m_selectedIndex >= 0 && m_selectedIndex < m_all.size())
        return m_all.at(m_selectedIndex);
    if (m_all.isEmpty())
        return std::nullopt;
    return m_all.first();
}

void ScreenList::screensChanged()
{
    if (!m_screens)
        return;
    const QList<ScreenInfo> now = m_screens->list();
    if (now != m_all) {
        m_all = now;
        emit allChanged();
    }
    if (m_selectedIndex >= m_all.size() || m_selectedIndex < 0)
        setSelectedIndex(0);
}
