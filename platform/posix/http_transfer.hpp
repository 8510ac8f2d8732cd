// One synchronous HTTP request over libcurl: a thin layer that speaks in
// bytes and C++ strings only and answers failure by value. The language
// side (platform/http.cpp) builds the request from values and turns the
// answer into values and errors.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ixo::platform {

struct http_request {
  std::string method;                // "GET", "HEAD", "POST" or any other spelling
  std::string url;                   // already percent-encoded
  std::vector<std::string> headers;  // "Name: value" lines, sent in this order
  bool has_body = false;             // never for GET and HEAD
  std::string body;
};

struct http_response {
  int32_t status = 0;
  std::string headers;  // the header lines of the final response, CR LF kept
  std::string body;     // the bytes as they came, never decompressed
  bool timed_out = false;
  bool out_of_memory = false;  // the response could not be held: no request failed
  std::string reason;  // why the request failed: the transfer library's text
};

// Performs the request, following at most 10 redirects: status and headers
// are then the final response's. Connecting gives up after 60 s and a
// transfer that stays idle for 30 s fails as a time-out. Only http and https
// are spoken, redirects included. False when no response came, with the
// reason filled in (also when libcurl cannot be loaded: the reason names it),
// or with out_of_memory set when the request or its response could not be
// held; the connection of such a transfer is closed, never reused.
bool http_transfer(const http_request& request, http_response& response);

}  // namespace ixo::platform
