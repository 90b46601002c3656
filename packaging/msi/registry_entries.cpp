// Writes an installer package's registry entries for one component in one
// registry view, from the same registration plan that the servers' own
// registration writes, so that the two cannot drift.
//
//   wex_msi_registry <downloader|browser> <32|64> <file id> <file name>
//                    <file is 64-bit: 0|1> <folder property> <component id> <form>
//
// Forms: "wxs" prints a RegistryValue element per value (for wixl), and
// "wxs-keypath" the same with the first value as the component's key path
// (for a component that installs no file); "sql"
// prints an INSERT for each key that holds no value (wixl has no form for
// them), created on install and removed on uninstall; "rows" prints the rows
// the package's Registry table must hold, tab-separated as msiinfo exports
// them without the row id (root, key, name, value, component).
//
// Every key goes under Software\Classes of the per-machine-or-per-user root
// (-1): the machine's for a per-machine install, the user's for a per-user
// one. The file's path is the installer's "[#file id]", its folder
// "[folder property]".
#include <cstdio>
#include <cstring>
#include <string>

#include "common/registration/component_identities.h"
#include "common/ustring.h"

namespace wex {
namespace {

constexpr const char* kRoot = "-1";
constexpr const char* kClasses = "Software\\Classes\\";

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Replaces every occurrence of `from` in `text`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: wex_msi_registry <downloader|browser> <32|64> <file id> <file name> "
      "<file is 64-bit: 0|1> <folder property> <component id> <wxs|wxs-keypath|sql|rows>\n");
  return 2;
}

int Run(int argc, char** argv) {
  if (argc != 9) return Usage();
  const std::string which = argv[1], view = argv[2], fileId = argv[3], fileName = argv[4];
  const std::string folder = argv[6], componentId = argv[7], form = argv[8];
  if ((which != "downloader" && which != "browser") || (view != "32" && view != "64"))
    return Usage();
  // The plan is worked out for a stand-in path inside the folder, which the
  // installer's own names then replace: the file by its id, the folder by its
  // property.
  const std::string folderText = "[" + folder + "]";
  const std::string standIn = folderText + "\\" + fileName;
  const ComponentIdentity component =
      which == "downloader" ? DownloaderIdentity() : BrowserIdentity();
  const RegistrationPlan plan = PlanRegistration(
      component, RegistryRoot::kMachine, view == "64" ? RegistryView::k64 : RegistryView::k32,
      {FromUtf8(standIn), std::strcmp(argv[5], "1") == 0});
  const bool wxs = form == "wxs" || form == "wxs-keypath";
  bool keyPath = form == "wxs-keypath";
  int keyOnly = 0;
  for (const RegistryEntry& entry : plan.entries) {
    const std::string key = kClasses + ToUtf8(entry.key);
    const std::string name = entry.hasValue ? ToUtf8(entry.name) : "*";
    const std::string value = Replaced(ToUtf8(entry.data), standIn, "[#" + fileId + "]");
    if (form == "rows") {
      std::printf("%s\t%s\t%s\t%s\t%s\n", kRoot, key.c_str(), name.c_str(), value.c_str(),
                  componentId.c_str());
    } else if (wxs && entry.hasValue) {
      const std::string nameAttribute = name.empty() ? "" : " Name=\"" + Escaped(name) + "\"";
      std::printf("<RegistryValue Root=\"HKMU\" Key=\"%s\"%s Value=\"%s\" Type=\"string\"%s/>\n",
                  Escaped(key).c_str(), nameAttribute.c_str(), Escaped(value).c_str(),
                  keyPath ? " KeyPath=\"yes\"" : "");
      keyPath = false;
    } else if (form == "sql" && !entry.hasValue) {
      std::printf(
          "INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) "
          "VALUES ('key%d_%s', %s, '%s', '*', '%s')\n",
          ++keyOnly, componentId.c_str(), kRoot, key.c_str(), componentId.c_str());
    } else if (!wxs && form != "sql") {
      return Usage();
    }
  }
  return 0;
}

}  // namespace
}  // namespace wex

int main(int argc, char** argv) { return wex::Run(argc, argv); }
