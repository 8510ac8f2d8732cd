// The HTTP transfer over one libcurl easy handle per request. The handles
// share one connection cache, DNS cache and TLS session cache (a libcurl
// share handle made at start), so requests to the same server reuse its
// open connection as a browser does. libcurl adds
// Host, Content-Length and Accept itself; its own Content-Type for a body
// and its "Expect: 100-continue" are switched off, so a request carries
// exactly the headers it is given. Proxies come from the environment, TLS
// certificates are verified. No signal is used: SIGPIPE is held back
// during the transfer. libcurl is opened, initialised and given its share
// handle just before the first transfer, by whichever thread makes it.
#include "platform/posix/http_transfer.hpp"

#include <curl/curl.h>

#include <cctype>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/posix/shared_library.hpp"
#include "platform/posix/sigpipe.hpp"

namespace ixo::platform {

namespace {

constexpr long connect_timeout_seconds = 60;
constexpr long idle_timeout_seconds = 30;
constexpr long redirect_limit = 10;
// A body that a string or binary could not hold ends the transfer.
constexpr size_t largest_body = INT32_MAX;

// The libcurl entry points the transfer calls.
#define LIBCURL_ENTRIES(X) \
  X(curl_global_init)      \
  X(curl_share_init)       \
  X(curl_share_setopt)     \
  X(curl_share_cleanup)    \
  X(curl_easy_init)        \
  X(curl_easy_cleanup)     \
  X(curl_easy_setopt)      \
  X(curl_easy_perform)     \
  X(curl_easy_getinfo)     \
  X(curl_easy_strerror)    \
  X(curl_slist_append)     \
  X(curl_slist_free_all)
IXO_LIBRARY_ENTRIES(libcurl_entries, LIBCURL_ENTRIES);
static_assert(LIBCURL_VERSION_MAJOR == 7 || LIBCURL_VERSION_MAJOR == 8, "the header is not libcurl 7 or 8 (libcurl.so.4)");
platform::lazy_library<libcurl_entries> libcurl("libcurl.so.4");

struct curl_handle {
  CURL* easy = libcurl.curl_easy_init();
  curl_slist* list = nullptr;
  ~curl_handle() {
    libcurl.curl_slist_free_all(list);
    if (easy) libcurl.curl_easy_cleanup(easy);
  }
  // False when the list could not grow.
  bool add_header(const std::string& line) {
    curl_slist* grown = libcurl.curl_slist_append(list, line.c_str());
    if (!grown) return false;
    list = grown;
    return true;
  }
};

// The callbacks run inside libcurl's C frames, which no exception may
// cross: a failed allocation is noted in the response and aborts the
// transfer (answering fewer bytes than given), and libcurl then closes the
// connection rather than keep it half read.
template <class Take>
size_t guarded(http_response* response, size_t n, Take take) {
  try {
    return take() ? n : 0;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  response->out_of_memory = true;
  return 0;
}

size_t take_body(char* data, size_t size, size_t count, void* target) {
  auto* response = static_cast<http_response*>(target);
  size_t n = size * count;
  return guarded(response, n, [&] {
    if (response->body.size() + n > largest_body) return false;
    response->body.append(data, n);
    return true;
  });
}

// Every response (a redirect, a 100 Continue) begins with its status line;
// the headers kept are those of the last one.
size_t take_header(char* data, size_t size, size_t count, void* target) {
  auto* response = static_cast<http_response*>(target);
  size_t n = size * count;
  return guarded(response, n, [&] {
    if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) response->headers.clear();
    else response->headers.append(data, n);
    return true;
  });
}

bool has_header_q(const std::vector<std::string>& headers, const char* name) {
  size_t length = std::strlen(name);
  for (const std::string& line : headers) {
    if (line.size() < length || (line.size() > length && line[length] != ':' && line[length] != ';')) continue;
    bool same = true;
    for (size_t i = 0; i < length && same; ++i)
      same = std::tolower(static_cast<unsigned char>(line[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    if (same && line.size() > length) return true;
  }
  return false;
}

// The caches every request's handle shares; null when they could not be
// made (each request then connects afresh). The runtime has one thread, so
// the share needs no locks.
CURLSH* shared = nullptr;

CURLSH* make_share() {
  CURLSH* share = libcurl.curl_share_init();
  if (!share) return nullptr;
  for (curl_lock_data data : {CURL_LOCK_DATA_CONNECT, CURL_LOCK_DATA_DNS, CURL_LOCK_DATA_SSL_SESSION}) {
    if (libcurl.curl_share_setopt(share, CURLSHOPT_SHARE, data) != CURLSHE_OK) {
      libcurl.curl_share_cleanup(share);
      return nullptr;
    }
  }
  return share;
}

// Opens and initialises libcurl, once; false when it cannot be loaded.
bool started() {
  static const bool ready = [] {
    if (!libcurl.open()) return false;
    libcurl.curl_global_init(CURL_GLOBAL_DEFAULT);
    shared = make_share();
    return true;
  }();
  return ready;
}

}  // namespace

bool http_transfer(const http_request& request, http_response& response) {
  if (!started()) {
    response.reason = libcurl.failure();
    return false;
  }
  curl_handle h;
  if (!h.easy) {
    response.reason = "the transfer library could not start a request";
    return false;
  }
  char error_text[CURL_ERROR_SIZE] = {0};
  CURL* c = h.easy;
  libcurl.curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_text);
  libcurl.curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  if (shared) libcurl.curl_easy_setopt(c, CURLOPT_SHARE, shared);
  libcurl.curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  libcurl.curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  libcurl.curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  libcurl.curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  libcurl.curl_easy_setopt(c, CURLOPT_MAXREDIRS, redirect_limit);
  libcurl.curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
  // Less than one byte a second for the whole idle time is a time-out.
  libcurl.curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  libcurl.curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, idle_timeout_seconds);
  libcurl.curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, take_body);
  libcurl.curl_easy_setopt(c, CURLOPT_WRITEDATA, &response);
  libcurl.curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, take_header);
  libcurl.curl_easy_setopt(c, CURLOPT_HEADERDATA, &response);

  // A POST always sends its body, empty or not, with its length; other
  // methods send one when they have one.
  bool fields = request.method == "POST" || (request.has_body && request.method != "GET" && request.method != "HEAD");
  if (request.method == "HEAD") libcurl.curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  if (fields) {
    libcurl.curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    libcurl.curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
  }
  if (request.method != "GET" && request.method != "HEAD" && request.method != "POST")
    libcurl.curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());

  bool listed = true;
  for (const std::string& line : request.headers) listed = listed && h.add_header(line);
  // libcurl's own defaults for a body: none unless the caller gave them.
  if (fields && !has_header_q(request.headers, "Content-Type")) listed = listed && h.add_header("Content-Type:");
  if (!has_header_q(request.headers, "Expect")) listed = listed && h.add_header("Expect:");
  if (!listed) {
    response.out_of_memory = true;
    response.reason = "out of memory";
    return false;
  }
  libcurl.curl_easy_setopt(c, CURLOPT_HTTPHEADER, h.list);

  CURLcode result;
  {
    sigpipe_held held;
    result = libcurl.curl_easy_perform(c);
  }
  if (response.out_of_memory) {
    response.reason = "out of memory";
    return false;
  }
  if (result != CURLE_OK) {
    response.timed_out = result == CURLE_OPERATION_TIMEDOUT;
    response.reason = error_text[0] ? error_text : libcurl.curl_easy_strerror(result);
    return false;
  }
  long status = 0;
  libcurl.curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  response.status = static_cast<int32_t>(status);
  return true;
}

}  // namespace ixo::platform
