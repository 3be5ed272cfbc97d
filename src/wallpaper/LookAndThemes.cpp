#include "wallpaper/LookAndThemes.h"

#include <QMap>
#include <QPointer>

#include "platform/MainQueue.h"
#include "platform/Settings.h"
#include "platform/SystemLog.h"
#include "platform/WebPage.h"
#include "wallpaper/EffectNames.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperPlacement.h"
#include "wallpaper/WallpaperWindow.h"

LookAndThemes::LookAndThemes(const Settings& settings, MainQueue& queue, SystemLog& log,
                             const WallpaperPlacement& placement)
    : m_settings(settings), m_queue(queue), m_log(log), m_placement(placement)
{
}

namespace {

// The page's render scale for a "quality.resolution" value: 0 is native.
double renderScale(const QString& resolution)
{
    if (resolution == QLatin1String("balanced"))
        return 1.5;
    if (resolution == QLatin1String("performance"))
        return 1.0;
    return 0.0;  // "auto" and anything unrecognised: the page's native scale
}

}  // namespace

void LookAndThemes::applyLook()
{
    const double reactivity = m_settings.doubleValue(QStringLiteral("look.reactivity"), 1.0);
    const double speed = m_settings.doubleValue(QStringLiteral("look.speed"), 1.0);
    const double exposure = m_settings.doubleValue(QStringLiteral("look.exposure"), 1.0);
    const double grain = m_settings.doubleValue(QStringLiteral("look.grain"), 1.0);
    if (WallpaperWindow* window = m_placement.window())
        window->page().evaluate(PageCalls::setLook(reactivity, speed, exposure, grain));
}

void LookAndThemes::applyFx()
{
    QMap<QString, double> effects;
    for (const char* name : kEffectNames)
        effects.insert(QLatin1String(name), m_settings.doubleValue(effectSettingsKey(name), 0.0));
    if (WallpaperWindow* window = m_placement.window())
        window->setFx(effects);
}

void LookAndThemes::applyQuality()
{
    const double scale = renderScale(m_settings.stringValue(QStringLiteral("quality.resolution"), QStringLiteral("auto")));
    int fps = m_settings.intValue(QStringLiteral("quality.fps"), 0);
    if (fps == 0)
        fps = 60;
    WallpaperWindow* window = m_placement.window();
    if (!window)
        return;
    window->page().evaluate(PageCalls::setQuality(scale, fps), [self = QPointer<LookAndThemes>(this)](const ScriptReply& reply) {
        if (self && reply.value && !reply.value->isEmpty())
            self->m_log.write(QStringLiteral("[vesmer] quality applied: ") + *reply.value);
    });
}

void LookAndThemes::stepTheme(int step)
{
    WallpaperWindow* window = m_placement.window();
    if (!window)
        return;
    window->stepTheme(step, [self = QPointer<LookAndThemes>(this)](const QString& name) {
        if (self)
            self->answerLater(name);
    });
}

void LookAndThemes::refreshThemeName()
{
    m_queue.after(kThemeRefreshDelay, [self = QPointer<LookAndThemes>(this)] {
        if (!self || !self->m_placement.window())
            return;
        self->m_placement.window()->page().evaluate(PageCalls::currentTheme(), [self](const ScriptReply& reply) {
            if (self && reply.value)
                self->answerLater(*reply.value);
        });
    });
}

void LookAndThemes::answerLater(const QString& name)
{
    m_queue.post([self = QPointer<LookAndThemes>(this), name] {
        if (self)
            emit self->themeNameAnswered(name);
    });
}
