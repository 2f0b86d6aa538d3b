// SPDX-License-Identifier: Apache-2.0
#include "discovery/search_dialects.h"

#include "discovery/reply_intake.h"

namespace camlift {
namespace {

// In the order of a search pass. What answers the IMAGIA, SQ610 and uicam queries is recognised
// only when it matches another row's reply.
constexpr TDialect kDialects[] = {
    {.name = "imagia",
     .query = BuildImagiaQuery,
     .port = kImagiaPort,
     .endpoint = kImagiaEndpointNumber,
     .every = 3},
    {.name = "8600",
     .query = Build8600Query,
     .port = k8600Port,
     .endpoint = kOwnThread,  // from local port 3565 (k8600LocalPort)
     .parse = Parse8600Reply,
     .type = {kType8600, "R", TSeries::R}},
    {.name = "sq610", .query = BuildSQ610Query, .port = kSQ610Port, .endpoint = 1},
    {.name = "moi",
     .query = BuildMOIQuery,
     .port = kMOIPort,
     .endpoint = 2,
     .recognises = IsMOIReply,
     .parse = ParseMOIReply,
     .type = {kTypeMOI, "M", TSeries::M, kUsualLifetime, TNameText::Utf8}},
    {.name = "uicam", .query = BuildUicamQuery, .port = kUicamPort, .endpoint = 3},
    {.name = "ctp",
     .query = BuildCTPSearch,
     .port = kCTPSearchPort,
     .endpoint = 4,
     .recognises = IsTextReply,
     .parse = ParseTextReply,
     .type = {kTypeText, "K", TSeries::K}},
    // Three exchanges per camera: the hello asks for the information request, the information
    // reply names the camera and asks for the DDNS request, the DDNS reply adds to its entry. A
    // new entry waits the long lifetime for them.
    {.name = "1010",
     .query = Build1010Query,
     .port = k1010Port,
     .endpoint = 5,
     .recognises = Is1010Datagram,
     .parse = Parse1010InfoReply,
     .follow_up = Take1010Reply,
     .type = {kType1010, "P", TSeries::P, {kLongLifetimeTicks, kLifetimeTicks}, TNameText::Utf8}},
};

// Numbered as the selection dialog numbers them, in the order they are bound.
constexpr TSearchEndpoint kEndpoints[] = {
    {2, 10000}, {1, 10001}, {3, 10002}, {4, 7999}, {5, 6800},
};

}  // namespace

std::span<const TDialect> DialectTable() { return kDialects; }

std::span<const TSearchEndpoint> SearchEndpoints() { return kEndpoints; }

const TDialect* FindDialect(std::string_view name) {
  for (const TDialect& dialect : kDialects) {
    if (dialect.name == name) return &dialect;
  }
  return nullptr;
}

void SendDialectQuery(const TDialect& dialect, std::uint16_t port, IDatagramSender& endpoint) {
  try {
    endpoint.Broadcast(port, dialect.query());
  } catch (...) {
    // A failed send must not keep the next query of a search pass from going out.
  }
}

}  // namespace camlift
