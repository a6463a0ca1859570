#include "memoria.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <stdexcept>

#include "uscita.h"

namespace {

void memoria_insufficiente() { std::fprintf(messaggi(), "Memoria insufficiente\n"); }

// When memory is so short that even the exception could not be made, the
// runtime ends the process through here instead of unwinding. Files being
// written have no name yet, so ending now leaves none behind.
[[noreturn]] void fine_senza_eccezione() {
  std::exception_ptr e = std::current_exception();
  bool memoria = !e;
  if (e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
      memoria = true;
    } catch (...) {
    }
  }
  if (!memoria) std::abort();
  memoria_insufficiente();
  std::fflush(stdout);
  _exit(1);
}

int esegui_protetto(int (*esegui)(int, char**), int argc, char** argv) {
  try {
    return esegui(argc, argv);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  memoria_insufficiente();
  return 1;
}

}  // namespace

int con_memoria_controllata(int (*esegui)(int, char**), int argc, char** argv) {
  std::set_terminate(fine_senza_eccezione);
  occupa_descrittori_chiusi();
  return chiudi_uscita(esegui_protetto(esegui, argc, argv));
}
