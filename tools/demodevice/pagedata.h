// What the demo device's web server answers besides its page: the recordings of its disk
// (the search answers), its channels and the files a page may fetch by their device path.
#ifndef TOOLS_DEMODEVICE_PAGEDATA_H
#define TOOLS_DEMODEVICE_PAGEDATA_H

#include <json/json.h>

#include <string>

namespace demodevice {

// What the page's roads need of the device itself: a transfer rate, so that a
// fast download can be seen and paused, and the player program that the client
// fetches with downloaded recordings.
bool AddPageContent(const std::string &root, Json::Value &device);

// Writes <root>/www/recordings.json, channels.json and files.json from the device description.
bool WritePageData(const std::string &root, const Json::Value &device);

}  // namespace demodevice

#endif
