// SPDX-License-Identifier: Apache-2.0
// Strict reader of multipart/form-data upload bodies, fed in pieces as they come off the socket.
//
// The HTTP layer (request line, headers, Content-Length or chunked framing) is cpp-httplib's.
// The body itself is read here rather than by httplib's own multipart reader because a camera
// stand-in must (a) refuse framing that a real camera would choke on instead of guessing, and
// (b) keep the part header block byte for byte so that tests can assert exactly what an upgrader
// put on the wire; httplib's reader is lenient and hands back only the parsed fields.
//
// Accepted form: "--" boundary CR LF, header lines each ending in CR LF, an empty line, the part
// bytes, CR LF "--" boundary, then either CR LF and the next part or "--" CR LF and the end of the
// body. No preamble, no epilogue, no bare LF or CR in the header block.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace camlift::sim {

inline constexpr std::size_t kMaxPartHeaderBytes = 8192;

struct TPartHeaders {
  std::string raw;  // the header lines exactly as sent, each with its CR LF; without the empty line
  std::vector<std::pair<std::string, std::string>> fields;  // in order, names as sent
  std::string name;                                         // Content-Disposition name
  std::string filename;  // Content-Disposition filename (empty when absent)
  bool has_filename = false;
  std::string content_type;  // Content-Type of the part (empty when absent)
};

// The boundary of a "multipart/form-data; boundary=..." Content-Type value (quotes removed);
// nullopt when the type is another one or the boundary is missing, empty or over 70 characters.
std::optional<std::string> BoundaryFromContentType(std::string_view content_type);

// Parses one header block (raw, as in TPartHeaders::raw). Pure; nullopt with error set on a
// line without a colon, or a Content-Disposition that is not form-data with a name.
std::optional<TPartHeaders> ParsePartHeaders(std::string_view raw, std::string& error);

class TMultipartParser {
 public:
  struct Callbacks {
    std::function<bool(const TPartHeaders&)> on_part_begin;   // false stops with an error
    std::function<bool(std::span<const char>)> on_part_data;  // false stops with an error
    std::function<bool()> on_part_end;                        // false stops with an error
  };

  TMultipartParser(std::string boundary, Callbacks callbacks);

  // Feeds the next piece of the body. False once the body is malformed (see error()).
  bool Feed(std::span<const char> bytes);
  // The body has ended. False unless the closing delimiter and its CR LF were the last bytes.
  bool Finish();

  bool failed() const { return state_ == State::Failed; }
  bool complete() const { return state_ == State::Done; }
  const std::string& error() const { return error_; }
  std::size_t part_count() const { return parts_; }

 private:
  enum class State { Opening, Headers, Body, AfterDelimiter, Closing, Done, Failed };
  bool Fail(std::string message);
  bool Step();  // one transition on pending_; false when more bytes are needed or on failure

  std::string opening_;    // "--" boundary CR LF
  std::string delimiter_;  // CR LF "--" boundary
  Callbacks callbacks_;
  State state_ = State::Opening;
  std::string pending_;
  std::string error_;
  std::size_t parts_ = 0;
};

// One part of a whole body parsed at once (tests, small bodies).
struct TParsedPart {
  TPartHeaders headers;
  std::string data;
};
struct TParsedMultipart {
  bool ok = false;
  std::string error;
  std::vector<TParsedPart> parts;
};
TParsedMultipart ParseMultipart(std::string_view boundary, std::span<const char> body);

}  // namespace camlift::sim
