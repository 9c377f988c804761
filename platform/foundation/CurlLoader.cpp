// libcurl is opened by the first transfer, on the network thread, not when the program
// starts: it and the libraries it brings (TLS, Kerberos, LDAP, SSH, IDN, ... about a quarter
// of what a launch would load) cost the launch milliseconds of mapping and relocating and make
// every later symbol lookup of the main thread slower, and no transfer starts before the panel
// is shown. The functions the program calls are defined here under libcurl's own names; each
// finds the library's function the first time it runs and passes the call on, so the program
// is linked against libcurl's headers only. Without the library every call fails the way
// libcurl reports a failure (an error code, no handle), and the URL session ends each task
// with an error that says why.
#include "platform/foundation/CurlLoader.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>

namespace {

// The soname of libcurl's ABI since 7.16; the OpenSSL and GnuTLS builds share it.
constexpr const char* kCurlLibrary = "libcurl.so.4";

struct CurlLibrary {
  void* handle = nullptr;
  std::string failure;
};

const CurlLibrary& curlLibrary() {
  static const CurlLibrary library = [] {
    CurlLibrary opened;
    opened.handle = ::dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!opened.handle) {
      const char* error = ::dlerror();
      opened.failure = error ? error : kCurlLibrary;
    } else if (!::dlsym(opened.handle, "curl_multi_poll")) {
      // Another library under that name, or a libcurl older than the calls made here: none
      // at all is easier to reason about than one that does half of it.
      opened.failure = std::string(kCurlLibrary) + " does not have the functions of libcurl 7.66 or later";
      ::dlclose(opened.handle);
      opened.handle = nullptr;
    }
    return opened;
  }();
  return library;
}

template <typename Function>
Function curlFunction(const char* name) {
  void* handle = curlLibrary().handle;
  return handle ? reinterpret_cast<Function>(::dlsym(handle, name)) : nullptr;
}

// An option's value as the library reads it: an option's number tells its type's range.
enum class ValueType { integer, object, function, offset, blob };

ValueType valueTypeOf(int option) {
  if (option >= CURLOPTTYPE_BLOB) return ValueType::blob;
  if (option >= CURLOPTTYPE_OFF_T) return ValueType::offset;
  if (option >= CURLOPTTYPE_FUNCTIONPOINT) return ValueType::function;
  if (option >= CURLOPTTYPE_OBJECTPOINT) return ValueType::object;
  return ValueType::integer;
}

using AnyFunction = void (*)();

// Calls `real` with the one argument after the option, taken as the type its number says.
template <typename Result, typename Handle, typename Option>
Result passOption(Result (*real)(Handle*, Option, ...), Handle* handle, Option option, std::va_list arguments) {
  switch (valueTypeOf(option)) {
    case ValueType::integer: return real(handle, option, va_arg(arguments, long));
    case ValueType::object: return real(handle, option, va_arg(arguments, void*));
    case ValueType::function: return real(handle, option, va_arg(arguments, AnyFunction));
    case ValueType::offset: return real(handle, option, va_arg(arguments, curl_off_t));
    case ValueType::blob: return real(handle, option, va_arg(arguments, curl_blob*));
  }
  return real(handle, option, va_arg(arguments, void*));
}

}  // namespace

namespace CurlLoader {

bool available() { return curlLibrary().handle != nullptr; }

const std::string& failure() { return curlLibrary().failure; }

}  // namespace CurlLoader

// The library's function of this name, found once.
#define GLIMDECK_CURL_FUNCTION(name) static const auto real = curlFunction<decltype(&::name)>(#name)

extern "C" {

// --- the library

CURLcode curl_global_init(long flags) {
  GLIMDECK_CURL_FUNCTION(curl_global_init);
  return real ? real(flags) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode code) {
  GLIMDECK_CURL_FUNCTION(curl_easy_strerror);
  return real ? real(code) : "libcurl could not be opened";
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  GLIMDECK_CURL_FUNCTION(curl_slist_append);
  return real ? real(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  GLIMDECK_CURL_FUNCTION(curl_slist_free_all);
  if (real) real(list);
}

// --- easy handles

CURL* curl_easy_init(void) {
  GLIMDECK_CURL_FUNCTION(curl_easy_init);
  return real ? real() : nullptr;
}

void curl_easy_cleanup(CURL* easy) {
  GLIMDECK_CURL_FUNCTION(curl_easy_cleanup);
  if (real) real(easy);
}

void curl_easy_reset(CURL* easy) {
  GLIMDECK_CURL_FUNCTION(curl_easy_reset);
  if (real) real(easy);
}

CURLcode curl_easy_perform(CURL* easy) {
  GLIMDECK_CURL_FUNCTION(curl_easy_perform);
  return real ? real(easy) : CURLE_FAILED_INIT;
}

CURLcode curl_easy_setopt(CURL* easy, CURLoption option, ...) {
  GLIMDECK_CURL_FUNCTION(curl_easy_setopt);
  if (!real) return CURLE_FAILED_INIT;
  std::va_list arguments;
  va_start(arguments, option);
  const CURLcode result = passOption(real, easy, option, arguments);
  va_end(arguments);
  return result;
}

CURLcode curl_easy_getinfo(CURL* easy, CURLINFO info, ...) {
  GLIMDECK_CURL_FUNCTION(curl_easy_getinfo);
  if (!real) return CURLE_FAILED_INIT;
  // Every kind of information is answered through a pointer to where it goes.
  std::va_list arguments;
  va_start(arguments, info);
  void* destination = va_arg(arguments, void*);
  va_end(arguments);
  return real(easy, info, destination);
}

// --- multi handles

CURLM* curl_multi_init(void) {
  GLIMDECK_CURL_FUNCTION(curl_multi_init);
  return real ? real() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
  GLIMDECK_CURL_FUNCTION(curl_multi_cleanup);
  return real ? real(multi) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_setopt(CURLM* multi, CURLMoption option, ...) {
  GLIMDECK_CURL_FUNCTION(curl_multi_setopt);
  if (!real) return CURLM_BAD_HANDLE;
  std::va_list arguments;
  va_start(arguments, option);
  const CURLMcode result = passOption(real, multi, option, arguments);
  va_end(arguments);
  return result;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* easy) {
  GLIMDECK_CURL_FUNCTION(curl_multi_add_handle);
  return real ? real(multi, easy) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* easy) {
  GLIMDECK_CURL_FUNCTION(curl_multi_remove_handle);
  return real ? real(multi, easy) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
  GLIMDECK_CURL_FUNCTION(curl_multi_perform);
  return real ? real(multi, running) : CURLM_BAD_HANDLE;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
  GLIMDECK_CURL_FUNCTION(curl_multi_info_read);
  return real ? real(multi, left) : nullptr;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned int extraCount, int timeoutMs, int* ready) {
  GLIMDECK_CURL_FUNCTION(curl_multi_poll);
  return real ? real(multi, extra, extraCount, timeoutMs, ready) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_wakeup(CURLM* multi) {
  GLIMDECK_CURL_FUNCTION(curl_multi_wakeup);
  return real ? real(multi) : CURLM_BAD_HANDLE;
}

// --- MIME bodies

curl_mime* curl_mime_init(CURL* easy) {
  GLIMDECK_CURL_FUNCTION(curl_mime_init);
  return real ? real(easy) : nullptr;
}

void curl_mime_free(curl_mime* mime) {
  GLIMDECK_CURL_FUNCTION(curl_mime_free);
  if (real) real(mime);
}

curl_mimepart* curl_mime_addpart(curl_mime* mime) {
  GLIMDECK_CURL_FUNCTION(curl_mime_addpart);
  return real ? real(mime) : nullptr;
}

CURLcode curl_mime_name(curl_mimepart* part, const char* name) {
  GLIMDECK_CURL_FUNCTION(curl_mime_name);
  return real ? real(part, name) : CURLE_FAILED_INIT;
}

CURLcode curl_mime_filename(curl_mimepart* part, const char* filename) {
  GLIMDECK_CURL_FUNCTION(curl_mime_filename);
  return real ? real(part, filename) : CURLE_FAILED_INIT;
}

CURLcode curl_mime_type(curl_mimepart* part, const char* type) {
  GLIMDECK_CURL_FUNCTION(curl_mime_type);
  return real ? real(part, type) : CURLE_FAILED_INIT;
}

CURLcode curl_mime_data(curl_mimepart* part, const char* data, size_t size) {
  GLIMDECK_CURL_FUNCTION(curl_mime_data);
  return real ? real(part, data, size) : CURLE_FAILED_INIT;
}

}  // extern "C"

#undef GLIMDECK_CURL_FUNCTION
