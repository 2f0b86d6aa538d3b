// SPDX-License-Identifier: Apache-2.0
// What the web pages of every camera series have in common: how an account travels in a page's
// query, how a camera says that it refuses an account, and the client its upload pages expect.
// The series M, P and R upgraders and the series R client build their requests from these.
#pragma once

#include <string>
#include <string_view>

namespace camlift {

// How the account is written into a query. The cameras' own tools trim what was typed for
// nearly every page, but ask three with the account exactly as typed (the DDNS read, and the
// status read and the upload of the series R client); a camera that holds an account with
// blanks answers those only this way, so the difference stays.
enum class TAccountText { Trimmed, AsTyped };

// "user=<user>&pwd=<password>", each percent-encoded (the cameras decode their queries).
std::string UserPwdQuery(std::string_view user, std::string_view password,
                         TAccountText form = TAccountText::Trimmed);
// "loginuse=<user>&loginpas=<password>", likewise.
std::string LoginQuery(std::string_view user, std::string_view password,
                       TAccountText form = TAccountText::Trimmed);

// A page that refuses the account: series R answers a wrong account with status 200 and this
// text instead of the page.
bool PageRefusesAccount(std::string_view page);
// A refusal of series R: status 401, or such a page. (Series M and P refuse with 401 alone; a
// page of theirs that reads "Unauthorized" is still only no OEM text.)
bool SeriesRRefusesAccount(long status, std::string_view page);

// The client the upload pages of series M, P and R were made for: they answer its user agent
// and Accept headers.
inline constexpr const char* kUploadUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
inline constexpr const char* kUploadAcceptAny =
    "Accept: image/gif, image/jpeg, image/pjpeg, image/pjpeg, application/x-shockwave-flash, */*";
inline constexpr const char* kUploadAcceptEncoding = "Accept-Encoding: gzip,deflate";

}  // namespace camlift
