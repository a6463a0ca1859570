#include "memoria.h"

#include <cstdio>
#include <new>
#include <stdexcept>

int con_memoria_controllata(int (*esegui)(int, char**), int argc, char** argv) {
  try {
    return esegui(argc, argv);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  std::printf("Memoria insufficiente\n");
  return 1;
}
