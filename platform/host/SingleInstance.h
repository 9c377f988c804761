#pragma once
// One running copy of the application per user session, kept as the desktop's applications
// keep it (GLib's GApplication does the same): the first launch owns the application's id as
// a name on the session bus and answers org.freedesktop.Application's Activate there; a later
// launch finds the name owned, asks its owner to activate and ends before it touches anything
// of the application's. The first launch also holds an exclusive lock on a file in the data
// folder, and one on the data folder itself: without a session bus those locks are the whole
// check, and with one they still keep a copy started on another bus (another session of the
// same user) off the same data. Whatever is done to the lock file while a copy runs (moved,
// deleted, replaced), the folder's lock keeps a second copy off.
//
// The bus is served on a thread of its own, with or without a desktop running GLib's main
// loop; the activation itself runs on the main queue.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class SingleInstance {
 public:
  struct Constants {
    static constexpr std::string_view lockFileName = "instance.lock";
    static constexpr std::string_view applicationInterface = "org.freedesktop.Application";
    // How long a later launch waits for the running copy to answer its Activate (seconds).
    static constexpr int activateTimeout = 10;
  };

  // The claim of the first launch, or none when another copy runs. That copy has been asked
  // to show itself where it can be asked (one line says it was), or one line says that it
  // runs. None too, with one line saying why, when no lock file can be had in the data folder
  // (a copy without its lock could run beside another). Whatever lies under the lock file's
  // name that is not a plain file is set aside for a fresh one. `activate` runs on the main
  // queue each time a later launch asks this one to show itself.
  static std::unique_ptr<SingleInstance> claim(const std::string& applicationId, const std::filesystem::path& dataFolder,
                                               std::function<void()> activate);
  // Gives up the name and the lock.
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Whether the claim holds the name on the session bus (else the lock alone).
  bool ownsBusName() const;
  // The bus object path of an application id: "com.glimdeck.Glimdeck" is
  // "/com/glimdeck/Glimdeck", as GApplication names it.
  static std::string objectPathForApplicationId(std::string_view applicationId);

 private:
  struct Bus;
  SingleInstance() = default;
  std::unique_ptr<Bus> bus_;
  int lockFd_ = -1;
  int folderFd_ = -1;
};
