# Writes the site into SITE: the page's own files (PAGES) from SOURCE, worker.js as the core's
# loader (CORE.js) followed by paint.js and compare_paint.js, their exports made plain
# declarations, and the worker's script, and the core's module (CORE.wasm).
# Made anew, so that a file the page no longer has is not served.
file(REMOVE_RECURSE ${SITE})
file(MAKE_DIRECTORY ${SITE})
foreach(name ${PAGES})
  configure_file(${SOURCE}/${name} ${SITE}/${name} COPYONLY)
endforeach()
configure_file(${CORE}.wasm ${SITE}/quillfen.wasm COPYONLY)
file(READ ${CORE}.js loader)
set(painters "")
foreach(name paint.js compare_paint.js)
  file(READ ${SOURCE}/${name} painter)
  string(REGEX REPLACE "(^|\n)export " "\\1" painter "${painter}")
  string(APPEND painters "${painter}\n")
endforeach()
file(READ ${SOURCE}/worker.js worker)
file(WRITE ${SITE}/worker.js "${loader}\n${painters}${worker}")
