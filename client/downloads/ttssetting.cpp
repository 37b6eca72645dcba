#include "ttssetting.h"

#include "ui_ttssetting.h"

#include <QSettings>

namespace {

const QString Group = QStringLiteral("TTS");
const QString DefaultEngine = QStringLiteral("default");

QString localeText(const QLocale& locale)
{
    return QStringLiteral("%1 (%2)").arg(QLocale::languageToString(locale.language()),
                                         QLocale::countryToString(locale.country()));
}

}  // namespace

TTSSetting::TTSSetting(const QString& settingsFile, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::TTSSetting), m_settingsFile(settingsFile)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAutoFillBackground(true);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::close);
    load();
}

TTSSetting::~TTSSetting()
{
    save();
    delete m_speech;
    delete m_ui;
}

bool TTSSetting::isTTSEnabled() const
{
    return m_enabled;
}

QTextToSpeech* TTSSetting::speech() const
{
    return m_speech;
}

bool TTSSetting::hasEngine() const
{
    return m_speech && m_speech->state() != QTextToSpeech::BackendError;
}

void TTSSetting::load()
{
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(Group);
    const QString engine = settings.value(QStringLiteral("engine")).toString();
    const QLocale language = settings.value(QStringLiteral("language"), QLocale()).toLocale();
    const QString voice = settings.value(QStringLiteral("voice")).toString();
    const int rate = settings.value(QStringLiteral("rate"), 0).toInt();
    const int pitch = settings.value(QStringLiteral("pitch"), 0).toInt();
    const int volume = settings.value(QStringLiteral("volume"), 100).toInt();
    const int enable = settings.value(QStringLiteral("enable"), int(Qt::Checked)).toInt();
    m_enabled = enable == Qt::Checked;

    m_ui->engine->addItem(tr("Default"), DefaultEngine);
    const QStringList engines = QTextToSpeech::availableEngines();
    for (const QString& name : engines)
        m_ui->engine->addItem(name, name);
    const int engineIndex = qMax(0, m_ui->engine->findData(engine, Qt::UserRole,
                                                           Qt::MatchExactly | Qt::MatchCaseSensitive));
    m_ui->engine->setCurrentIndex(engineIndex);
    engineSelected(engineIndex);

    const int languageIndex = qMax(0, m_ui->language->findText(localeText(language), Qt::MatchExactly));
    if (languageIndex < m_ui->language->count()) {
        m_ui->language->setCurrentIndex(languageIndex);
        if (m_speech)
            m_speech->setLocale(m_ui->language->itemData(languageIndex).toLocale());
    }

    const int voiceIndex = qMax(0, m_ui->voice->findData(voice, Qt::UserRole,
                                                         Qt::MatchExactly | Qt::MatchCaseSensitive));
    if (voiceIndex < m_ui->voice->count())
        m_ui->voice->setCurrentIndex(voiceIndex);
    if (m_speech && voiceIndex < m_voices.size())
        m_speech->setVoice(m_voices.at(voiceIndex));

    m_ui->rate->setValue(rate);
    m_ui->pitch->setValue(pitch);
    m_ui->volume->setValue(volume);
    setRate(m_ui->rate->value());
    setPitch(m_ui->pitch->value());
    setVolume(m_ui->volume->value());

    m_ui->enableCheckBox->setCheckState(static_cast<Qt::CheckState>(enable));
    enableTTS(m_enabled);

    connect(m_ui->enableCheckBox, &QCheckBox::clicked, this, &TTSSetting::enableTTS);
    connect(m_ui->speakButton, &QPushButton::clicked, this, &TTSSetting::speak);
    connect(m_ui->rate, &QSlider::valueChanged, this, &TTSSetting::setRate);
    connect(m_ui->pitch, &QSlider::valueChanged, this, &TTSSetting::setPitch);
    connect(m_ui->volume, &QSlider::valueChanged, this, &TTSSetting::setVolume);
    connect(m_ui->engine, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &TTSSetting::engineSelected);
}

void TTSSetting::save() const
{
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(Group);
    settings.setValue(QStringLiteral("engine"), m_ui->engine->currentData().toString());
    const QVariant language = m_ui->language->currentData();
    settings.setValue(QStringLiteral("language"), language.isValid() ? language : QVariant(QLocale()));
    settings.setValue(QStringLiteral("voice"), m_ui->voice->currentData().toString());
    settings.setValue(QStringLiteral("rate"), m_ui->rate->value());
    settings.setValue(QStringLiteral("pitch"), m_ui->pitch->value());
    settings.setValue(QStringLiteral("volume"), m_ui->volume->value());
    settings.setValue(QStringLiteral("enable"), int(m_ui->enableCheckBox->checkState()));
}

void TTSSetting::enableTTS(bool on)
{
    m_enabled = on;
    m_ui->speakButton->setEnabled(on);
    m_ui->rate->setEnabled(on);
    m_ui->pitch->setEnabled(on);
    m_ui->volume->setEnabled(on);
    m_ui->engine->setEnabled(on);
    m_ui->language->setEnabled(on);
    m_ui->voice->setEnabled(on);
    m_ui->text->setEnabled(on);
}

void TTSSetting::speak()
{
    if (m_speech)
        m_speech->say(m_ui->text->text());
}

void TTSSetting::setRate(int value)
{
    m_ui->rate->setToolTip(QString::number(value));
    if (m_speech)
        m_speech->setRate(value / 10.0);
}

void TTSSetting::setPitch(int value)
{
    m_ui->pitch->setToolTip(QString::number(value));
    if (m_speech)
        m_speech->setPitch(value / 10.0);
}

void TTSSetting::setVolume(int value)
{
    m_ui->volume->setToolTip(QString::number(value));
    if (m_speech)
        m_speech->setVolume(value / 100.0);
}

void TTSSetting::stateChanged(QTextToSpeech::State state)
{
    const bool idle = state != QTextToSpeech::Speaking;
    m_ui->speakButton->setEnabled(idle);
    m_ui->engine->setEnabled(idle);
}

void TTSSetting::engineSelected(int index)
{
    delete m_speech;
    const QString engineName = m_ui->engine->itemData(index).toString();
    if (engineName == DefaultEngine)
        m_speech = new QTextToSpeech(this);
    else
        m_speech = new QTextToSpeech(engineName, this);

    disconnect(m_ui->language, qOverload<int>(&QComboBox::currentIndexChanged), this,
               &TTSSetting::languageSelected);
    m_ui->language->clear();
    const QVector<QLocale> locales = m_speech->availableLocales();
    const QString current = m_speech->locale().name();
    int currentIndex = 0;
    for (const QLocale& locale : locales) {
        m_ui->language->addItem(localeText(locale), locale);
        if (locale.name() == current)
            currentIndex = m_ui->language->count() - 1;
    }
    if (!locales.isEmpty())
        m_ui->language->setCurrentIndex(currentIndex);

    setRate(m_ui->rate->value());
    setPitch(m_ui->pitch->value());
    setVolume(m_ui->volume->value());

    connect(m_speech, &QTextToSpeech::stateChanged, this, &TTSSetting::stateChanged);
    connect(m_speech, &QTextToSpeech::localeChanged, this, &TTSSetting::localeChanged);
    connect(m_ui->language, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &TTSSetting::languageSelected);
    localeChanged(m_speech->locale());
}

void TTSSetting::languageSelected(int index)
{
    if (m_speech && index >= 0)
        m_speech->setLocale(m_ui->language->itemData(index).toLocale());
}

void TTSSetting::voiceSelected(int index)
{
    if (m_speech && index >= 0 && index < m_voices.size())
        m_speech->setVoice(m_voices.at(index));
}

void TTSSetting::localeChanged(const QLocale& locale)
{
    if (!m_speech)
        return;
    const int languageIndex = m_ui->language->findData(QVariant(locale));
    if (languageIndex >= 0)
        m_ui->language->setCurrentIndex(languageIndex);

    disconnect(m_ui->voice, qOverload<int>(&QComboBox::currentIndexChanged), this,
               &TTSSetting::voiceSelected);
    m_ui->voice->clear();
    m_voices = m_speech->availableVoices();
    const QString current = m_speech->voice().name();
    int currentIndex = 0;
    for (const QVoice& voice : qAsConst(m_voices)) {
        m_ui->voice->addItem(QStringLiteral("%1 - %2 - %3")
                                 .arg(voice.name(), QVoice::genderName(voice.gender()),
                                      QVoice::ageName(voice.age())),
                             voice.name());
        if (voice.name() == current)
            currentIndex = m_ui->voice->count() - 1;
    }
    if (!m_voices.isEmpty())
        m_ui->voice->setCurrentIndex(currentIndex);
    connect(m_ui->voice, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &TTSSetting::voiceSelected);
}
