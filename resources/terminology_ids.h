/* The plug-in's scripting terms, in one place for the resource scripts
   (property list, terminology) and for the C++ code that reads and records
   the parameters. Plain preprocessor text, so that windres can include it.

   A four-character code is given as its four characters, most significant
   first: 'draw' is d,r,a,w. The resource scripts store it little-endian
   (bytes "ward"); C++ code turns it into the 32-bit value with FOUR_CHAR_CODE. */
#ifndef VARDELKIST_RESOURCES_TERMINOLOGY_IDS_H
#define VARDELKIST_RESOURCES_TERMINOLOGY_IDS_H

#define PROPERTY_LIST_RESOURCE_ID 16000
#define TERMINOLOGY_RESOURCE_ID 16000

/* Descriptor keys of the two parameters. */
#define KEY_DRAW d,r,a,w
#define KEY_SHFT s,h,f,t

/* The plot event. Hosts match these byte for byte between the property
   list's terminology link and the terminology; in the module they read
   "C0gr" and "Girt". */
#define PLOT_EVENT_CLASS r,g,0,C
#define PLOT_EVENT_ID t,r,i,G

#ifndef RC_INVOKED
#include <cstdint>

#define FOUR_CHAR_CODE(...) FOUR_CHAR_CODE_OF_CHARS(__VA_ARGS__)
#define FOUR_CHAR_CODE_OF_CHARS(a, b, c, d)                                    \
  (uint32_t(uint8_t(#a[0])) << 24 | uint32_t(uint8_t(#b[0])) << 16 |           \
   uint32_t(uint8_t(#c[0])) << 8 | uint32_t(uint8_t(#d[0])))

constexpr uint32_t keyDraw = FOUR_CHAR_CODE(KEY_DRAW);
constexpr uint32_t keyShft = FOUR_CHAR_CODE(KEY_SHFT);
constexpr uint32_t plotEventClass = FOUR_CHAR_CODE(PLOT_EVENT_CLASS);
constexpr uint32_t plotEventId = FOUR_CHAR_CODE(PLOT_EVENT_ID);

static_assert(keyDraw == 0x64726177 && keyShft == 0x73686674, "descriptor keys 'draw' and 'shft'");
#endif

#endif
