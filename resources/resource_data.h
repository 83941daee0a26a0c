/* Building blocks for the plug-in's raw data resources, for windres only.

   Inside a BEGIN ... END block of a custom resource type, windres writes
   a bare number as a 16-bit little-endian word, a number ending in L as a
   32-bit little-endian word, and a string as its bytes with no terminator
   and no code page conversion. Nothing is aligned. */
#ifndef VARDELKIST_RESOURCES_RESOURCE_DATA_H
#define VARDELKIST_RESOURCES_RESOURCE_DATA_H

/* A four-character code, written most significant character first and
   stored little-endian, as hosts on x86 read it: CODE(k,i,n,d) is "dnik". */
#define CODE(...) CODE_CHARACTERS(__VA_ARGS__)
#define CODE_CHARACTERS(a, b, c, d) #d #c #b #a

/* Two bytes, in file order, as one 16-bit word. */
#define BYTES(first, second) ((second) * 256 + (first))

/* IEEE 754 doubles, low 32-bit half first. */
#define DOUBLE_0 0L, 0L
#define DOUBLE_1 0L, 0x3FF00000L
#define DOUBLE_65535 0L, 0x40EFFFE0L

#endif
