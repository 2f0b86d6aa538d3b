// SPDX-License-Identifier: Apache-2.0
/* The calls of the closed camera-search library as this program makes them (C calling
   convention). Every number the library takes or gives is 32 bits wide; texts are
   zero-terminated. */
#ifndef CAMLIFT_DISCOVERY_DVSNET_API_H
#define CAMLIFT_DISCOVERY_DVSNET_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One call per device found; the texts and the MAC are valid only during the call. */
typedef void (*DVSNET_SearchCallback)(int32_t reserved1, const char* name, int32_t reserved3,
                                      const char* ip, const uint8_t* mac, int32_t port,
                                      int32_t aux_word, const char* netmask, const char* gateway,
                                      const char* reserved10, const char* dns, int32_t reserved12,
                                      int32_t reserved13, int32_t dhcp, void* context);

/* Starts a search; 0 when it started. The program passes 3000, 1, its callback, its context and
   0. */
typedef int32_t (*DVSNET_SearchServersFn)(int32_t wait, int32_t mode,
                                          DVSNET_SearchCallback callback, void* context,
                                          int32_t reserved);
typedef void (*DVSNET_StopSearchFn)(void);

#define DVSNET_SEARCH_SERVERS "DVSNET_SearchServers"
#define DVSNET_STOP_SEARCH "DVSNET_StopSearch"

#ifdef __cplusplus
}
#endif

#endif
