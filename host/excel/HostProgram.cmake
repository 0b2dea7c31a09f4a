# xlhost_make_host_program(target): makes a program a stand-in Excel host. It links the model,
# links in the exported entry points as objects (a static library would let the linker drop
# them, since nothing in the program calls them), exports them from the program under their
# plain names, and builds XLCALL32 into the same folder, where LoadLibraryA looks first.
# Targets are resolved when the project is generated, so any folder may include this file and
# call the function, also before host/ has been added.
include_guard(GLOBAL)

function(xlhost_make_host_program target)
  target_link_libraries(${target} PRIVATE excelhost_entry excelhost)
  add_dependencies(${target} XLCALL32)
  if(WIN32)
    # dllexport names a stdcall function MdCallBack12@16; Excel's name has no decoration.
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  else()
    set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
  endif()
endfunction()
