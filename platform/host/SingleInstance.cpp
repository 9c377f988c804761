#include "platform/host/SingleInstance.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <expected>
#include <thread>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/host/SessionBus.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
// The flag RequestName takes and the answers it gives, as the bus defines them.
constexpr guint32 kDoNotQueue = 4;
constexpr guint32 kPrimaryOwner = 1, kExists = 3, kAlreadyOwner = 4;
// How often a later launch asks again when the owner it found left before it answered.
constexpr int kAttempts = 5;
// How often a launch asks for the data folder's own lock, 10 ms apart (see lockFolder).
constexpr int kFolderLockAttempts = 300;

constexpr const char kApplicationXml[] =
    "<node><interface name='org.freedesktop.Application'>"
    "<method name='Activate'><arg type='a{sv}' name='platform_data' direction='in'/></method>"
    "</interface></node>";

enum class Claimed { owner, other, failed };

void say(const std::string& what) { OutputSink::print(Paths::applicationName() + " already runs" + what); }

// Whether a call failed because nobody owns the name (any more): the owner quit meanwhile.
bool ownerLeft(const GError* error) {
  return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY);
}

// Another launch holds the folder only while it sets a thing aside: a moment. Whatever holds
// it for longer (a running copy does) is not waited for beyond a few seconds. `stillNeeded`,
// when given, is asked between tries whether the lock is still wanted.
bool lockFolder(int folder, const std::function<bool()>& stillNeeded = nullptr) {
  for (int attempt = 0; attempt < kFolderLockAttempts; ++attempt) {
    if (::flock(folder, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (stillNeeded && !stillNeeded()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  errno = EWOULDBLOCK;
  return false;
}

std::expected<int, OwnFiles::Failure> openLockFileOnce(const fs::path& lock) {
  auto opened = OwnFiles::openPlainFile(lock, O_RDWR | O_CREAT, 0600);
  // A lock needs no writing: a plain file the user made read-only (or a read-only disk) serves.
  if (!opened && (opened.error().error == EACCES || opened.error().error == EROFS)) {
    opened = OwnFiles::openPlainFile(lock, O_RDONLY);
  }
  return opened;
}

// The lock file, whatever lies under its name: a plain file is used as it is, and anything
// else (a folder, a link, a pipe) is set aside for a new one. Launches set aside one at a
// time, each holding a lock on the data folder itself meanwhile and looking again once it has
// it, so that none sets aside the lock file another launch has just made and taken. -1, with
// errno, when no lock file can be had.
int openLockFile(const fs::path& folder, const fs::path& lock) {
  auto opened = openLockFileOnce(lock);
  const auto notPlain = [&] { return !opened && opened.error().notPlainFile; };
  if (notPlain()) {
    const int guard = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Meanwhile the name is looked at again: a plain file there now (another launch has set
    // the thing aside, and may run) is the lock to try.
    const auto lookAgain = [&] {
      opened = openLockFileOnce(lock);
      return notPlain();
    };
    if (guard >= 0 && lockFolder(guard, lookAgain)) {
      if (lookAgain() && OwnFiles::clearForPlainFile(lock)) opened = openLockFileOnce(lock);
    } else if (notPlain()) {
      opened = std::unexpected(OwnFiles::Failure{errno, true});
    }
    // Closing it lets the folder's lock go.
    if (guard >= 0) ::close(guard);
  }
  if (opened) return *opened;
  errno = opened.error().error;
  return -1;
}

}  // namespace

struct SingleInstance::Bus {
  GDBusConnection* connection = nullptr;
  GMainContext* context = nullptr;
  guint registration = 0;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::function<void()> activate;

  ~Bus() {
    // The thread first, so that no call is being answered while the object goes.
    stopping = true;
    if (context) g_main_context_wakeup(context);
    if (thread.joinable()) thread.join();
    if (registration) g_dbus_connection_unregister_object(connection, registration);
    if (connection) {
      // Closing gives the name up at once, for the next launch.
      g_dbus_connection_close_sync(connection, nullptr, nullptr);
      g_object_unref(connection);
    }
    if (context) g_main_context_unref(context);
  }

  static void onMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
                       GDBusMethodInvocation* invocation, gpointer data) {
    auto* bus = static_cast<Bus*>(data);
    if (g_strcmp0(method, "Activate") != 0) {
      g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, "no method %s", method);
      return;
    }
    // Answered here and now, so that the later launch ends whatever the main thread is busy with.
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (bus->activate) DispatchQueue::main()->async(bus->activate);
  }

  Claimed claim(const std::string& applicationId) {
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    // A connection of its own: calls to its object are answered on this claim's thread, and
    // closing it gives the name up without touching the desktop's connection.
    if (address) {
      connection = g_dbus_connection_new_for_address_sync(
          address,
          static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                            G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
          nullptr, nullptr, &error);
      g_free(address);
    }
    g_clear_error(&error);
    if (!connection) return Claimed::failed;

    const std::string path = objectPathForApplicationId(applicationId);
    static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kApplicationXml, nullptr);
    static const GDBusInterfaceVTable table{&Bus::onMethod, nullptr, nullptr, {}};
    context = g_main_context_new();
    // Calls to an object are dispatched on the context that was the thread's default when it
    // was registered: this claim's own, which its thread iterates.
    g_main_context_push_thread_default(context);
    registration = g_dbus_connection_register_object(connection, path.c_str(), node->interfaces[0], &table, this,
                                                     nullptr, &error);
    g_main_context_pop_thread_default(context);
    g_clear_error(&error);
    if (!registration) return Claimed::failed;

    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      GVariant* reply = g_dbus_connection_call_sync(connection, kBusName, kBusPath, kBusName, "RequestName",
                                                    g_variant_new("(su)", applicationId.c_str(), kDoNotQueue),
                                                    G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
      if (!reply) {
        g_clear_error(&error);
        return Claimed::failed;
      }
      guint32 answer = 0;
      g_variant_get(reply, "(u)", &answer);
      g_variant_unref(reply);
      if (answer == kPrimaryOwner || answer == kAlreadyOwner) return Claimed::owner;
      if (answer != kExists) return Claimed::failed;
      GVariant* activated = g_dbus_connection_call_sync(
          connection, applicationId.c_str(), path.c_str(), std::string(Constants::applicationInterface).c_str(),
          "Activate", g_variant_new("(@a{sv})", g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)), nullptr,
          G_DBUS_CALL_FLAGS_NO_AUTO_START, Constants::activateTimeout * 1000, nullptr, &error);
      if (activated) {
        g_variant_unref(activated);
        say(": it was asked to show itself.");
        return Claimed::other;
      }
      const bool left = ownerLeft(error);
      const std::string why = error ? error->message : "no answer";
      g_clear_error(&error);
      if (left) continue;
      say(" and did not answer (" + why + ").");
      return Claimed::other;
    }
    return Claimed::failed;
  }

  void start() {
    thread = std::thread([this] {
      g_main_context_push_thread_default(context);
      while (!stopping) g_main_context_iteration(context, TRUE);
      g_main_context_pop_thread_default(context);
    });
  }
};

std::string SingleInstance::objectPathForApplicationId(std::string_view applicationId) {
  std::string path = "/";
  for (char c : applicationId) path += c == '.' ? '/' : c == '-' ? '_' : c;
  return path;
}

std::unique_ptr<SingleInstance> SingleInstance::claim(const std::string& applicationId, const fs::path& dataFolder,
                                                      std::function<void()> activate) {
  auto instance = std::unique_ptr<SingleInstance>(new SingleInstance());
  // Without an address GLib would start a bus of its own: the lock alone serves then.
  if (SessionBus::named()) {
    auto bus = std::make_unique<Bus>();
    bus->activate = std::move(activate);
    switch (bus->claim(applicationId)) {
      case Claimed::other: return nullptr;
      case Claimed::owner: instance->bus_ = std::move(bus); break;
      case Claimed::failed: break;
    }
  }
  // A folder that cannot be made shows itself when the lock cannot be opened in it.
  (void)NSFileManager::defaultManager()->createPrivateDirectoryAtPath(dataFolder);
  const fs::path lock = dataFolder / std::string(Constants::lockFileName);
  instance->lockFd_ = openLockFile(dataFolder, lock);
  if (instance->lockFd_ < 0) {
    // Without its lock a copy could run beside another and both write the store.
    OutputSink::print(Paths::applicationName() + " cannot take its lock " + lock.string() + " (" +
                      std::strerror(errno) + "): this launch ends.");
    return nullptr;
  }
  // The kernel lets the locks go with the process, however it ends. A file system without
  // locks leaves the check to the bus.
  if (::flock(instance->lockFd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    say(" (another copy holds " + lock.string() + "): this launch ends.");
    return nullptr;
  }
  // The lock file answers a later launch at once, but it is only a name: moved or deleted
  // while a copy runs, it would leave the next launch a fresh file to lock beside the
  // running copy's. So the copy that runs also holds the data folder's own lock, which
  // nothing done to the names inside it takes away, for as long as it runs. The launches
  // that set a lock file aside hold it for a moment too, so a launch that finds it held
  // waits those few seconds before it takes it for a running copy's.
  instance->folderFd_ = ::open(dataFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (instance->folderFd_ >= 0 && !lockFolder(instance->folderFd_) && errno == EWOULDBLOCK) {
    say(" (another copy holds " + dataFolder.string() + "): this launch ends.");
    return nullptr;
  }
  if (instance->bus_) instance->bus_->start();
  return instance;
}

SingleInstance::~SingleInstance() {
  bus_.reset();
  if (lockFd_ >= 0) ::close(lockFd_);
  if (folderFd_ >= 0) ::close(folderFd_);
}

bool SingleInstance::ownsBusName() const { return bus_ != nullptr; }
