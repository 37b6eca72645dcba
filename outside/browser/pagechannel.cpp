#include "pagechannel.h"

PageChannel::PageChannel(QObject* parent)
    : QObject(parent)
{
}

void PageChannel::Deliver(const QString& text)
{
    emit message(text);
}

void PageChannel::request(const QString& text)
{
    emit requested(text);
}
