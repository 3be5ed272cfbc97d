// Look, effects, quality and themes: every push reads the settings afresh, so the
// page always gets the stored values.
#include <QPointer>

#include "app/AppState.h"
#include "platform/WebPage.h"
#include "wallpaper/EffectNames.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperWindow.h"

namespace {

constexpr double kThemeRefreshDelay = 1.2;  // lets a fresh page define its functions

double renderScale(const QString& resolution)
{
    if (resolution == QLatin1String("balanced"))
        return 1.5;
    if (resolution == QLatin1String("performance"))
        return 1.0;
    return 0.0;  // "auto" and anything unrecognised: the page's native scale
}

}  // namespace

void AppState::applyLook()
{
    const Settings& settings = *m_platform.settings;
    const double reactivity = settings.doubleValue(QStringLiteral("look.reactivity"), 1.0);
    const double speed = settings.doubleValue(QStringLiteral("look.speed"), 1.0);
    const double exposure = settings.doubleValue(QStringLiteral("look.exposure"), 1.0);
    const double grain = settings.doubleValue(QStringLiteral("look.grain"), 1.0);
    if (!m_wallpaper)
        return;
    m_wallpaper->page().evaluate(PageCalls::setLook(reactivity, speed, exposure, grain));
}

void AppState::applyFx()
{
    QMap<QString, double> effects;
    for (const char* name : kEffectNames)
        effects.insert(QLatin1String(name), m_platform.settings->doubleValue(effectSettingsKey(name), 0.0));
    if (!m_wallpaper)
        return;
    m_wallpaper->setFx(effects);
}

void AppState::applyQuality()
{
    const double scale = renderScale(m_platform.settings->stringValue(QStringLiteral("quality.resolution"),
                                                                     QStringLiteral("auto")));
    int fps = m_platform.settings->intValue(QStringLiteral("quality.fps"), 0);
    if (fps == 0)
        fps = 60;
    if (!m_wallpaper)
        return;
    QPointer<AppState> self(this);
    m_wallpaper->page().evaluate(PageCalls::setQuality(scale, fps), [self](const ScriptReply& reply) {
        if (self && reply.value && !reply.value->isEmpty())
            self->systemLog(QStringLiteral("[vesmer] quality applied: ") + *reply.value);
    });
}

void AppState::stepTheme(int step)
{
    if (!m_wallpaper)
        return;
    QPointer<AppState> self(this);
    m_wallpaper->stepTheme(step, [self](const QString& name) {
        if (!self)
            return;
        self->m_platform.queue->post([self, name] {
            if (self)
                self->setThemeName(name);
        });
    });
}

void AppState::refreshThemeName()
{
    QPointer<AppState> self(this);
    m_platform.queue->after(kThemeRefreshDelay, [self] {
        if (!self || !self->m_wallpaper)
            return;
        self->m_wallpaper->page().evaluate(PageCalls::currentTheme(), [self](const ScriptReply& reply) {
            if (!self || !reply.value)
                return;
            self->m_platform.queue->post([self, name = *reply.value] {
                if (self)
                    self->setThemeName(name);
            });
        });
    });
}
