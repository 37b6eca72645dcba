// The demo device's optional update tree, for trying the update road by hand.
#ifndef TOOLS_DEMODEVICE_UPDATETREE_H
#define TOOLS_DEMODEVICE_UPDATETREE_H

#include <string>

namespace demodevice {

// Writes into the device's web folder `www` the server configuration "upgrade/server.ini",
// which offers version 1.1 of the module "whatsnew.txt" (a text file, in "modules/"), at the
// setup version installed in `appFolder`. When the application folder has no update
// configuration yet, writes its "config/upgrade.ini", without which no check is made.
bool WriteUpdateTree(const std::string &www, const std::string &appFolder);

}  // namespace demodevice

#endif
