// SPDX-License-Identifier: Apache-2.0
#include "sim_multipart.h"

#include <algorithm>
#include <cctype>

namespace camlift::sim {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Splits "a; b=c; d=\"e;f\"" at the semicolons that are not inside quotes.
std::vector<std::string_view> SplitParams(std::string_view value) {
  std::vector<std::string_view> out;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '"') quoted = !quoted;
    if (value[i] == ';' && !quoted) {
      out.push_back(Trim(value.substr(start, i - start)));
      start = i + 1;
    }
  }
  out.push_back(Trim(value.substr(start)));
  return out;
}

// name=value or name="value"; the value without its quotes. nullopt when name does not match.
std::optional<std::string> ParamValue(std::string_view param, std::string_view name) {
  const std::size_t eq = param.find('=');
  if (eq == std::string_view::npos || !EqualsNoCase(Trim(param.substr(0, eq)), name)) {
    return std::nullopt;
  }
  std::string_view value = Trim(param.substr(eq + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

}  // namespace

std::optional<std::string> BoundaryFromContentType(std::string_view content_type) {
  const auto params = SplitParams(content_type);
  if (params.empty() || !EqualsNoCase(params[0], "multipart/form-data")) return std::nullopt;
  for (std::size_t i = 1; i < params.size(); ++i) {
    if (auto value = ParamValue(params[i], "boundary")) {
      if (value->empty() || value->size() > 70) return std::nullopt;
      return value;
    }
  }
  return std::nullopt;
}

std::optional<TPartHeaders> ParsePartHeaders(std::string_view raw, std::string& error) {
  TPartHeaders headers;
  headers.raw = std::string(raw);
  bool has_disposition = false;
  while (!raw.empty()) {
    const std::size_t eol = raw.find("\r\n");
    if (eol == std::string_view::npos) {
      error = "part header line without CR LF";
      return std::nullopt;
    }
    const std::string_view line = raw.substr(0, eol);
    raw.remove_prefix(eol + 2);
    if (line.find_first_of("\r\n") != std::string_view::npos) {
      error = "bare CR or LF in a part header line";
      return std::nullopt;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || line[colon - 1] == ' ') {
      error = "part header line without a field name and colon: \"" + std::string(line) + "\"";
      return std::nullopt;
    }
    const std::string name(line.substr(0, colon));
    const std::string value(Trim(line.substr(colon + 1)));
    headers.fields.emplace_back(name, value);
    if (EqualsNoCase(name, "Content-Type")) headers.content_type = value;
    if (EqualsNoCase(name, "Content-Disposition")) {
      const auto params = SplitParams(value);
      if (params.empty() || !EqualsNoCase(params[0], "form-data")) {
        error = "Content-Disposition is not form-data";
        return std::nullopt;
      }
      for (std::size_t i = 1; i < params.size(); ++i) {
        if (auto v = ParamValue(params[i], "name")) headers.name = *v;
        if (auto v = ParamValue(params[i], "filename")) {
          headers.filename = *v;
          headers.has_filename = true;
        }
      }
      has_disposition = true;
    }
  }
  if (!has_disposition || headers.name.empty()) {
    error = "part without a Content-Disposition name";
    return std::nullopt;
  }
  return headers;
}

TMultipartParser::TMultipartParser(std::string boundary, Callbacks callbacks)
    : opening_("--" + boundary + "\r\n"),
      delimiter_("\r\n--" + boundary),
      callbacks_(std::move(callbacks)) {}

bool TMultipartParser::Fail(std::string message) {
  if (state_ != State::Failed) error_ = std::move(message);
  state_ = State::Failed;
  pending_.clear();
  return false;
}

bool TMultipartParser::Feed(std::span<const char> bytes) {
  if (state_ == State::Failed) return false;
  pending_.append(bytes.data(), bytes.size());
  while (Step()) {
  }
  return state_ != State::Failed;
}

bool TMultipartParser::Step() {
  switch (state_) {
    case State::Opening: {
      const std::size_t n = std::min(pending_.size(), opening_.size());
      if (pending_.compare(0, n, opening_, 0, n) != 0) {
        return Fail("body does not start with \"--\" boundary CR LF");
      }
      if (pending_.size() < opening_.size()) return false;
      pending_.erase(0, opening_.size());
      state_ = State::Headers;
      return true;
    }
    case State::Headers: {
      // The block ends at the first empty line. A block that is empty (CR LF straight away)
      // is a part without headers, which the name check below refuses.
      std::size_t end = std::string::npos;
      if (pending_.compare(0, 2, "\r\n") == 0) {
        end = 0;
      } else {
        const std::size_t at = pending_.find("\r\n\r\n");
        if (at != std::string::npos) end = at + 2;
      }
      if (end == std::string::npos) {
        if (pending_.size() > kMaxPartHeaderBytes) return Fail("part header block too long");
        return false;
      }
      if (end > kMaxPartHeaderBytes) return Fail("part header block too long");
      if (pending_.size() < end + 2) return false;
      std::string error;
      auto headers = ParsePartHeaders(std::string_view(pending_).substr(0, end), error);
      if (!headers) return Fail(error);
      pending_.erase(0, end + 2);
      ++parts_;
      if (callbacks_.on_part_begin && !callbacks_.on_part_begin(*headers)) {
        return Fail("part refused");
      }
      state_ = State::Body;
      return true;
    }
    case State::Body: {
      const std::size_t at = pending_.find(delimiter_);
      const std::size_t safe =
          at != std::string::npos
              ? at
              : (pending_.size() >= delimiter_.size() ? pending_.size() - delimiter_.size() + 1
                                                      : 0);
      if (safe > 0) {
        if (callbacks_.on_part_data &&
            !callbacks_.on_part_data(std::span<const char>(pending_.data(), safe))) {
          return Fail("part data refused");
        }
        pending_.erase(0, safe);
      }
      if (at == std::string::npos) return false;
      pending_.erase(0, delimiter_.size());
      if (callbacks_.on_part_end && !callbacks_.on_part_end()) return Fail("part refused");
      state_ = State::AfterDelimiter;
      return true;
    }
    case State::AfterDelimiter: {
      if (pending_.size() < 2) return false;
      if (pending_.compare(0, 2, "\r\n") == 0) {
        state_ = State::Headers;
      } else if (pending_.compare(0, 2, "--") == 0) {
        state_ = State::Closing;
      } else {
        return Fail("boundary followed by neither CR LF nor \"--\"");
      }
      pending_.erase(0, 2);
      return true;
    }
    case State::Closing: {
      const std::size_t n = std::min<std::size_t>(pending_.size(), 2);
      if (pending_.compare(0, n, "\r\n", 0, n) != 0) {
        return Fail("closing boundary not followed by CR LF");
      }
      if (pending_.size() < 2) return false;
      pending_.erase(0, 2);
      state_ = State::Done;
      return true;
    }
    case State::Done:
      if (!pending_.empty()) return Fail("bytes after the closing boundary");
      return false;
    case State::Failed:
      return false;
  }
  return false;
}

bool TMultipartParser::Finish() {
  if (state_ == State::Failed) return false;
  if (state_ != State::Done) return Fail("body ended before the closing boundary");
  return true;
}

TParsedMultipart ParseMultipart(std::string_view boundary, std::span<const char> body) {
  TParsedMultipart result;
  TMultipartParser parser(std::string(boundary), {[&](const TPartHeaders& h) {
                                                    result.parts.push_back({h, {}});
                                                    return true;
                                                  },
                                                  [&](std::span<const char> data) {
                                                    result.parts.back().data.append(data.data(),
                                                                                    data.size());
                                                    return true;
                                                  },
                                                  nullptr});
  result.ok = parser.Feed(body) && parser.Finish();
  result.error = parser.error();
  return result;
}

}  // namespace camlift::sim
