#include "updatetree.h"

#include "streams.h"

#include <fstream>
#include <sstream>

namespace demodevice {

namespace {

// App/SetupVersion of the installed version file; the module check needs the same major.minor.
std::string InstalledSetupVersion(const std::string &appFolder)
{
    std::ifstream in(appFolder + "/config/version.ini");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("SetupVersion=", 0) == 0)
            return line.substr(13);
    }
    return "1.0.0";
}

}  // namespace

bool WriteUpdateTree(const std::string &www, const std::string &appFolder)
{
    std::ostringstream server;
    server << "[App]\nSetupVersion=" << InstalledSetupVersion(appFolder)
           << "\nModuleUpgradePath=modules\nSetupPath=setup/none\n\n[ModuleVersion]\nwhatsnew.txt=1.1\n";
    bool ok = MakeDirs(www + "/upgrade") && MakeDirs(www + "/modules");
    ok = ok && WriteText(www + "/upgrade/server.ini", server.str());
    ok = ok && WriteText(www + "/modules/whatsnew.txt",
                         "What is new in 1.1: this file, installed by the update road.\n");

    const std::string upgrade = appFolder + "/config/upgrade.ini";
    if (ok && !std::ifstream(upgrade).good()) {
        ok = MakeDirs(appFolder + "/config") &&
             WriteText(upgrade, "[App]\nDownloadDir=download\nSavedUpgradeConfig=server.ini\n"
                                "ServerUpgradeConfig=upgrade/server.ini\nAppVersionConfig=config/version.ini\n"
                                "Salvent=Salvent\nSavedSetup=setup.bin\nstartEXE=Brevix\n");
    }
    return ok;
}

}  // namespace demodevice
