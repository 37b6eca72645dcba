#pragma once

#include <QObject>
#include <QString>

// The one object a page sees on the web channel: it may send a request text and
// receive message texts, nothing else.
class PageChannel : public QObject
{
    Q_OBJECT

public:
    explicit PageChannel(QObject* parent = nullptr);

    // Hands one text to the page.
    void Deliver(const QString& text);

signals:
    // A text for the page (replies and events, in order).
    void message(const QString& text);
    // A request text of the page, for the view.
    void requested(const QString& text);

public slots:
    // Called by the page.
    void request(const QString& text);
};
