#include "panel/SceneSection.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "compose/SceneGenerator.h"
#include "compose/SignIn.h"
#include "panel/PanelSection.h"
#include "panel/PanelStyle.h"
#include "panel/PromptField.h"
#include "panel/SettingsTable.h"

namespace {

constexpr int kPaceWidth = 170;
// Beside the row's label and the "Sign in again…" button; beside Generate and save.
constexpr int kAccountNoteWidth = 170;
constexpr int kComposeStatusWidth = 200;

}  // namespace

SceneSection::SceneSection(AppState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_settings(*state.platform().settings),
      m_section(new PanelSection(PanelSection::Header{QStringLiteral("AI Scene"), Symbol::Sparkles}, this)),
      m_signIn(new QPushButton(panelIcon(Symbol::Account), QStringLiteral("Sign in with Vesmer"), m_section)),
      m_accountRow(new QWidget(m_section)),
      m_keyStatus(new QLabel(m_accountRow)),
      m_auto(new QCheckBox(QStringLiteral("Auto scenes from lyrics"), m_section)),
      m_paceRow(new QWidget(m_section)),
      m_pace(new QSlider(Qt::Horizontal, m_paceRow)),
      m_autoSource(new QLabel(m_section)),
      m_prompt(new PromptField(m_section)),
      m_generate(new QPushButton(panelIcon(Symbol::Wand), QStringLiteral("Generate"), m_section)),
      m_save(new QPushButton(panelIcon(Symbol::Star), QString(), m_section)),
      m_composeStatus(new QLabel(m_section))
{
    PanelStyle::makeProminent(*m_signIn);
    connect(m_signIn, &QPushButton::clicked, this, [this] { m_state.openSignInPage(); });
    m_section->addRow(m_signIn);

    PanelStyle::styleLabel(*m_keyStatus, PanelStyle::orange(), true);
    auto* signInAgain = new QPushButton(QStringLiteral("Sign in again\u2026"), m_accountRow);
    connect(signInAgain, &QPushButton::clicked, this, [this] { m_state.openSignInPage(); });
    auto* accountLayout = new QHBoxLayout(m_accountRow);
    accountLayout->setContentsMargins(0, 0, 0, 0);
    accountLayout->setSpacing(8);
    accountLayout->addWidget(m_keyStatus, 1);
    accountLayout->addWidget(signInAgain);
    m_section->addRow(QStringLiteral("Account"), m_accountRow);

    connect(m_auto, &QCheckBox::toggled, this, [this](bool on) { writeSetting(m_settings, SettingKey::AutoScenes, on); });
    m_section->addRow(m_auto);

    m_pace->setRange(0, 2);
    m_pace->setSingleStep(1);
    m_pace->setPageStep(1);
    m_pace->setTickPosition(QSlider::TicksBelow);
    m_pace->setFixedWidth(kPaceWidth);
    m_pace->setAccessibleName(QStringLiteral("Scene pace"));
    connect(m_pace, &QSlider::valueChanged, this, [this](int pace) { writeSetting(m_settings, SettingKey::AutoPace, pace); });
    auto* slow = new QLabel(QStringLiteral("Slow"), m_paceRow);
    auto* fast = new QLabel(QStringLiteral("Fast"), m_paceRow);
    for (QLabel* end : {slow, fast})
        PanelStyle::styleLabel(*end, PanelStyle::secondary(), true);
    auto* paceLayout = new QHBoxLayout(m_paceRow);
    paceLayout->setContentsMargins(0, 0, 0, 0);
    paceLayout->setSpacing(6);
    paceLayout->addWidget(slow);
    paceLayout->addWidget(m_pace);
    paceLayout->addWidget(fast);
    paceLayout->addStretch();
    m_section->addRow(QStringLiteral("Scene pace"), m_paceRow);

    QFont italic = m_autoSource->font();
    italic.setItalic(true);
    m_autoSource->setFont(italic);
    PanelStyle::styleLabel(*m_autoSource, PanelStyle::secondary(), true);
    m_section->addRow(m_autoSource);

    m_prompt->setAccessibleName(QStringLiteral("Prompt"));
    connect(m_prompt, &PromptField::returnPressed, this, [this] {
        // Scene generation answers a missing wallpaper and ignores a blank prompt itself.
        if (promptOpen())
            generate();
    });
    connect(m_prompt, &PromptField::textChanged, this, &SceneSection::refresh);
    m_section->addRow(m_prompt);

    connect(m_generate, &QPushButton::clicked, this, &SceneSection::generate);
    m_save->setAccessibleName(QStringLiteral("Save this visual"));
    m_save->setToolTip(QStringLiteral("Save this visual as a preset"));
    connect(m_save, &QPushButton::clicked, this, [this] { m_state.savePreset(); });
    m_composeStatus->setFont(PanelStyle::callout(m_composeStatus->font()));
    auto* actions = new QWidget(m_section);
    auto* actionsLayout = new QHBoxLayout(actions);
    actionsLayout->setContentsMargins(0, 0, 0, 0);
    actionsLayout->setSpacing(8);
    for (QPushButton* button : {m_generate, m_save})
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    actionsLayout->addWidget(m_generate);
    actionsLayout->addWidget(m_save);
    actionsLayout->addWidget(m_composeStatus, 1);
    actionsLayout->addStretch();
    m_section->addRow(actions);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_section);
    refresh();
}

bool SceneSection::autoOn() const
{
    return readSetting(m_settings, SettingKey::AutoScenes).toBool();
}

bool SceneSection::promptOpen() const
{
    return !autoOn() && m_state.signedIn();
}

void SceneSection::generate()
{
    m_state.generateScene(m_prompt->text(), false);
}

void SceneSection::refresh()
{
    const bool hasKey = m_state.hasKey();
    m_section->setRowVisible(m_signIn, !hasKey);
    m_section->setRowVisible(m_accountRow, hasKey && m_state.keyState() == SignIn::kInvalid);
    PanelStyle::setLines(*m_keyStatus, m_state.keyStatus(), kAccountNoteWidth, 2);

    const bool on = autoOn();
    {
        const QSignalBlocker quietAuto(m_auto);
        m_auto->setChecked(on);
        const QSignalBlocker quietPace(m_pace);
        m_pace->setValue(readSetting(m_settings, SettingKey::AutoPace).toInt());
    }
    m_section->setRowVisible(m_paceRow, on);
    const QString source = m_state.autoSource();
    PanelStyle::setLines(*m_autoSource, QStringLiteral("\u201c") + source + QStringLiteral("\u201d"),
                         PanelStyle::kRowTextWidth, 2);
    m_section->setRowVisible(m_autoSource, on && !source.isEmpty());

    m_prompt->setPlaceholderText(on ? QStringLiteral("Auto mode is steering \u2014 turn it off to type")
                                    : QStringLiteral("Describe the visuals\u2026"));
    const bool open = promptOpen();
    m_prompt->setEnabled(open);
    m_generate->setEnabled(open && !m_prompt->text().trimmed().isEmpty());
    m_save->setEnabled(m_state.wallpaper() != nullptr);

    const QString status = m_state.composeStatus();
    PanelStyle::setLines(*m_composeStatus, status, kComposeStatusWidth, 2);
    m_composeStatus->setVisible(!status.isEmpty());
    PanelStyle::styleLabel(*m_composeStatus, status == SceneGenerator::kLive ? PanelStyle::green() : PanelStyle::secondary());
}
