# `cmake --build build --target demo` lays out a small installation under the
# build folder (ws/eclipse/Dashvane is the stand-in, ws/apps/demo/run a copy of
# the launcher) and runs it there, quietly and then traced.
add_custom_target(demo
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/run-demo.sh
          $<TARGET_FILE:dashvane-launcher> $<TARGET_FILE:dashvane-standin>
          ${PROJECT_BINARY_DIR}/ws
  DEPENDS dashvane-launcher dashvane-standin
  USES_TERMINAL
  VERBATIM)
