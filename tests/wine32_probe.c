/* Started once under Wine before the 32-bit build's tests: whether this machine can start a
   32-bit Windows program at all. */
#include <stdio.h>

int main(void) {
  puts("qrv3 wine32 probe");
  return 0;
}
