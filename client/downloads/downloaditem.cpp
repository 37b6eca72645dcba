#include "downloaditem.h"

DownloadItem::DownloadItem(QObject* parent) : QObject(parent) {}

DownloadItem::~DownloadItem() = default;
