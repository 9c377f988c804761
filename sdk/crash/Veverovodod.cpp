#include "sdk/crash/Veverovodod.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <system_error>

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "sdk/crash/VVDLog.h"

namespace {

struct FatalSignal {
  int number;
  const char* name;
};

constexpr FatalSignal fatalSignals[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGILL, "SIGILL"}, {SIGFPE, "SIGFPE"}, {SIGABRT, "SIGABRT"},
};

// Everything the handler needs is prepared at start, in fixed storage: a handler may not
// allocate, lock or run initialisers.
char reportsFolderPath[PATH_MAX] = {};
std::atomic_flag reporting = ATOMIC_FLAG_INIT;
// A stack overflow arrives as SIGSEGV with no stack left to run the handler on.
alignas(16) char alternateStack[64 * 1024];

// A report line put together without allocating.
class Text {
 public:
  void add(const char* text) {
    while (*text != '\0' && length_ < sizeof bytes_) bytes_[length_++] = *text++;
  }
  void addNumber(unsigned long long value, int width = 1) {
    char digits[24];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value > 0 && count < static_cast<int>(sizeof digits));
    while (count < width && count < static_cast<int>(sizeof digits)) digits[count++] = '0';
    while (count > 0 && length_ < sizeof bytes_) bytes_[length_++] = digits[--count];
  }
  const char* terminated() {
    bytes_[length_ < sizeof bytes_ ? length_ : sizeof bytes_ - 1] = '\0';
    return bytes_;
  }
  std::size_t length() const { return length_; }
  const char* bytes() const { return bytes_; }

 private:
  char bytes_[PATH_MAX + 64];
  std::size_t length_ = 0;
};

// The UTC calendar date of a count of days since 1970-01-01 (proleptic Gregorian).
void civilFromDays(long long days, long long& year, unsigned& month, unsigned& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2);
}

void addTime(Text& text, long long seconds) {
  long long year;
  unsigned month, day;
  const long long days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const long long secondOfDay = seconds - days * 86400;
  civilFromDays(days, year, month, day);
  text.addNumber(static_cast<unsigned long long>(year < 0 ? 0 : year), 4);
  text.add("-");
  text.addNumber(month, 2);
  text.add("-");
  text.addNumber(day, 2);
  text.add("T");
  text.addNumber(static_cast<unsigned long long>(secondOfDay / 3600), 2);
  text.add(":");
  text.addNumber(static_cast<unsigned long long>(secondOfDay / 60 % 60), 2);
  text.add(":");
  text.addNumber(static_cast<unsigned long long>(secondOfDay % 60), 2);
  text.add("Z");
}

void writeText(int fileDescriptor, const Text& text) {
  const char* bytes = text.bytes();
  std::size_t count = text.length();
  while (count > 0) {
    const ssize_t written = ::write(fileDescriptor, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

void writeReport(int number) {
  const char* name = "unknown";
  for (const auto& fatal : fatalSignals) {
    if (fatal.number == number) name = fatal.name;
  }
  // The wall clock, read directly: the application's clock object may take locks.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const pid_t process = getpid();

  ::mkdir(reportsFolderPath, 0700);
  // A report goes only into the folder itself, never where a link put in its place leads,
  // and only into a new plain file of its own.
  const int folder = ::open(reportsFolderPath, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  Text fileName;
  fileName.add("crash-");
  fileName.addNumber(static_cast<unsigned long long>(now.tv_sec));
  fileName.add("-");
  fileName.addNumber(static_cast<unsigned long long>(process));
  fileName.add(".txt");
  const int file = ::openat(folder, fileName.terminated(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  ::close(folder);
  if (file < 0) return;

  Text header;
  header.add("Signal: ");
  header.addNumber(static_cast<unsigned long long>(number));
  header.add(" (");
  header.add(name);
  header.add(")\nTime: ");
  addTime(header, now.tv_sec);
  header.add("\nProcess: ");
  header.addNumber(static_cast<unsigned long long>(process));
  header.add("\nLog:\n");
  writeText(file, header);
  VVDCrashLog::writeLinesTo(file);
  ::fsync(file);
  ::close(file);
}

void handleFatalSignal(int number) {
  const int savedErrno = errno;
  // One report per crash: a second thread failing meanwhile waits for the first to finish
  // and end the process (its own signal is not lost: the default action follows).
  if (!reporting.test_and_set()) {
    writeReport(number);
  } else {
    for (;;) ::pause();
  }
  // Die as the process would have without the kit: the signal is blocked while this handler
  // runs, so the raised one is delivered, with the default action, as soon as it returns.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  ::sigaction(number, &defaultAction, nullptr);
  ::raise(number);
  errno = savedErrno;
}

}  // namespace

MurvaneKitClass Veverovodod::kitClass() {
  static Veverovodod kit;
  return &kit;
}

std::filesystem::path Veverovodod::reportsFolder() { return Paths::applicationSupport() / "Crash Reports"; }

void Veverovodod::start() {
  const std::string folder = reportsFolder().string();
  // A folder path too long for the fixed buffer leaves the handlers out rather than
  // writing reports somewhere else.
  if (folder.size() + 64 >= sizeof reportsFolderPath) {
    VVDLog("crash reports folder path too long: %zu bytes", folder.size());
    return;
  }
  std::memcpy(reportsFolderPath, folder.c_str(), folder.size() + 1);
  // The reports folder and the data folder it lies in, when the kit is the first to make them.
  // Anything but a folder under its name (a link, a file) is set aside for one.
  if (struct stat info {}; ::lstat(folder.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) OwnFiles::setAside(folder, "a folder");
  (void)NSFileManager::defaultManager()->createPrivateDirectoryAtPath(folder);

  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  ::sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_handler = handleFatalSignal;
  action.sa_flags = SA_ONSTACK;
  // Block the other fatal signals meanwhile so a fault inside the handler ends the process
  // instead of starting a second report.
  sigemptyset(&action.sa_mask);
  for (const auto& fatal : fatalSignals) sigaddset(&action.sa_mask, fatal.number);
  for (const auto& fatal : fatalSignals) ::sigaction(fatal.number, &action, nullptr);
}
