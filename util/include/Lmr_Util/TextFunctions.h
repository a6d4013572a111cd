// Free text helpers of the utility library: signal-name suffixes, cutting at
// a character, bounded name copies, decimal text, the string hash with its
// table sizes, and the pointer-array quicksort.
#ifndef LMR_UTIL_TEXTFUNCTIONS_H
#define LMR_UTIL_TEXTFUNCTIONS_H

#include <Lmr_Util/String.h>

// Cuts out the first occurrence of each of ".SI", ".ALU", ".REG", ".MC",
// ".FFB", ".XOR", ".Q", in this order, each at most once.
void StripSuffix(String &name);

// The part before the first "." (the whole text when there is none).
String RetRealSignalName(const String &name);

// c != 0: the first c in text becomes the end mark and c is returned; c == 0:
// the same for the first "," or "\\".  0 when none is found or text is null.
char CutSuffix(char *text, char c);

// Copies src into dst when it fits into size bytes with its end mark;
// otherwise a fatal error (number 701) ends the process.
void HGstrcpy(char *dst, const char *src, short size);

// Copies the characters before c when c stands within the first five
// characters of src; otherwise dst becomes "NULL".  Returns dst.
char *HGstrcut(char *dst, const char *src, char c);

// n in decimal.
String Iota(long n);

// h = h * 31 + c over the characters taken as signed bytes, modulo 2^32.
unsigned Hash(const char *text);

// The first table prime not below n; n itself above the table.
unsigned long PrimeAbove(unsigned long n);

// Sorts count elements of size bytes at base with the three-way comparison
// compare (called with the addresses of two elements).
void qsort_ptr(void **base, int count, int size, int (*compare)(const void *, const void *));

#endif
