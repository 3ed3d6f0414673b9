# glidewheel_grant_access_helper(<output file> <root>): writes the grant helper, with the udev
# rule in it, to <output file> as an executable script that works on the system under <root>
# ("" for the real one).
set(_glidewheel_packaging_dir "${CMAKE_CURRENT_LIST_DIR}")
function(glidewheel_grant_access_helper output root)
  file(READ "${_glidewheel_packaging_dir}/70-glidewheel.rules" GLIDEWHEEL_RULE)
  string(STRIP "${GLIDEWHEEL_RULE}" GLIDEWHEEL_RULE)
  set(GRANT_ACCESS_ROOT "${root}")
  configure_file("${_glidewheel_packaging_dir}/glidewheel-grant-access.in" "${output}" @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endfunction()
