#include "historyinfo.h"

#include "customhoverlabel.h"
#include "prompter.h"
#include "shellpaths.h"
#include "ui_historyinfo.h"

#include <QCloseEvent>
#include <QDate>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QScrollBar>

namespace {

const char* const kDayStyle = "<style> a {color:#272e36;font-weight:bold;font-size:12px;} </style><a>";
const char* const kTimeStyle = "<style> a {color:#272e36;font-size:12px;} </style><a>";

bool AskCacheQuestion(QWidget* parent)
{
    PromptSpec question;
    question.icon = QMessageBox::Question;
    question.text = QString("<h3>%1</h3>").arg(historyinfo::tr("Cindel"));
    question.textFormat = Qt::RichText;
    question.informativeText = historyinfo::tr("CindelLbl");
    question.buttons = {{QMessageBox::Yes, historyinfo::tr("Yes")}, {QMessageBox::No, historyinfo::tr("No")}};
    question.defaultButton = QMessageBox::Yes;
    question.width = 350;
    question.height = 100;
    question.parent = parent;
    return Prompts::Current().Ask(question) == QMessageBox::Yes;
}

} // namespace

historyinfo::historyinfo(const HistoryDayMap& days, int startOffset, QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::historyinfo)
    , m_cachePrompt(AskCacheQuestion)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAutoFillBackground(true);
    if (objectName().isEmpty())
        setObjectName("historyinfo");
    m_ui->setupUi(this);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(m_ui->clearHistoryButton, &QPushButton::clicked, this, &historyinfo::ClearHistory);
    connect(m_ui->CindelButton, &QPushButton::clicked, this, &historyinfo::Cindel);
    m_ui->scrollArea->verticalScrollBar()->setStyleSheet("QScrollBar{background:rgb(222,222,222);}");
    BuildList(days, startOffset);
}

historyinfo::~historyinfo()
{
    delete m_ui;
}

void historyinfo::SetCachePrompt(CachePrompt prompt)
{
    m_cachePrompt = std::move(prompt);
}

QWidget* historyinfo::ListArea() const
{
    return m_ui->scrollArea->widget();
}

void historyinfo::BuildList(const HistoryDayMap& days, int startOffset)
{
    QWidget* list = m_ui->scrollAreaWidgetContents;
    const QDate today = QDate::currentDate();
    const QString todayText = today.toString("yyyy-MM-dd");
    const QString yesterdayText = today.addDays(-1).toString("yyyy-MM-dd");
    int y = startOffset;

    for (auto day = days.constEnd(); day != days.constBegin();) {
        --day;
        QString word;
        if (day.key() == todayText)
            word = tr("today");
        else if (day.key() == yesterdayText)
            word = tr("yesterday");

        auto* header = new QWidget(list);
        header->setGeometry(0, y, 200, 26);
        auto* headerImage = new QLabel(header);
        headerImage->setGeometry(0, 0, 16, 16);
        headerImage->setPixmap(QPixmap(":/toolbaricon/historyn.png"));
        auto* headerText = new QLabel(header);
        headerText->move(26, 0);
        headerText->setText(kDayStyle + word + " " + day.key() + "</a>");
        y += 26;

        for (const HistoryParam& entry : day.value()) {
            auto* row = new QWidget(list);
            row->setGeometry(20, y, 600, 35);
            auto* point = new QLabel(row);
            point->setGeometry(0, 0, 16, 16);
            point->setPixmap(QPixmap(":/toolbaricon/point.png"));
            auto* time = new QLabel(row);
            time->move(16, 0);
            time->setText(kTimeStyle + entry.time.toString("hh:mm:ss") + "</a>");
            auto* address = new CustomHoverLabel(entry.url.toString(), row);
            address->move(96, 0);
            connect(address, &QLabel::linkActivated, this, &historyinfo::ClikedAddr);
            y += 26;
        }
    }
    list->setGeometry(0, 0, m_ui->scrollArea->width() - 20, y);
}

void historyinfo::ClikedAddr(QString strAdd)
{
    emit SelectUrl(QUrl(strAdd, QUrl::TolerantMode));
}

void historyinfo::ClearHistory()
{
    // The list leaves the scroll area at once; it is freed once control is
    // back in the event loop.
    QWidget* list = m_ui->scrollArea->takeWidget();
    if (list) {
        list->setGeometry(QRect(0, 0, 0, 0));
        list->hide();
        list->deleteLater();
    }
    ClearHistoryFile(ShellPaths::HistoryFile());
}

void historyinfo::Cindel()
{
    if (m_cachePrompt && m_cachePrompt(this))
        QProcess::startDetached(ShellPaths::ApplicationFolder() + "/Cindel", QStringList());
}

void historyinfo::closeEvent(QCloseEvent* event)
{
    emit closeSelfWindow();
    QDialog::closeEvent(event);
}
