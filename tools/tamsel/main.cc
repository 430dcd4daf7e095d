#include <iostream>

#include "tamsel/tamsel.h"

int main() {
  std::cout << "tamsel\n";
  return 0;
}
