# Joins export fragments into one module-definition file (run with cmake -P).
set(text "LIBRARY ${LIBRARY}\nEXPORTS\n")
foreach(f IN LISTS IN)
  file(READ "${f}" part)
  string(APPEND text "${part}\n")
endforeach()
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
