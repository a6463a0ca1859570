#include "impronta.h"

#include <vector>

#include "file.h"

bool impronta_file(const char* path, impronta& out) {
  file_ptr f = apri_file(path, "rb");
  if (!f) return false;
  impronta h;
  std::vector<unsigned char> blocco(size_t{1} << 16);
  for (size_t n; (n = std::fread(blocco.data(), 1, blocco.size(), f.get())) > 0;) h.aggiungi(blocco.data(), n);
  if (std::ferror(f.get())) return false;
  out = h;
  return true;
}
