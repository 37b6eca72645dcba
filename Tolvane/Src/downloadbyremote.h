#pragma once
// A file of the device fetched by its path, whole or piece by piece, or a file whose
// content the page hands over in base64. Start runs the whole transfer on the caller's
// thread and ends in state 3 or 5.

#include <QString>

#include "download.h"

namespace Tolvane {

class CDownloadByRemote : public IDownload {
public:
    CDownloadByRemote(IDevice* device, const Json::Value& fileInfo, const std::string& folder,
                      const std::string& fileName, bool byPiece, bool adjustName);
    ~CDownloadByRemote() override;

    bool Start() override;
    bool Stop() override;
    // A remote fetch cannot be held: both answer false and change nothing.
    bool Pause() override;
    bool Resume() override;

private:
    bool WriteContents(const std::string& text, const QString& localPath);

    bool m_byPiece;
    bool m_adjustName;
};

}  // namespace Tolvane
