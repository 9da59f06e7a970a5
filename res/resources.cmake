# Our artwork, drawn as SVG and rendered to PNG at build time with rsvg-convert,
# then compiled into the program so it needs no files beside it. Each picture is
# found by its name without regard to case ("COPYU", "copyu" ...).
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

set(KESTRELON_RES_DIR ${CMAKE_CURRENT_LIST_DIR})

# Caption | first line | second line | font size of the caption on the face.
set(KESTRELON_BUTTON_FACES
  "Copy|Copy||10.5"
  "Schedule|Schedule||9.5"
  "Create|Create||10.5"
  "SelectAll|Select|All|10.5"
  "DeselectAll|Deselect|All|10.5"
  "LoadGroup|Load|Group|10.5"
  "SaveGroup|Save|Group|10.5"
  "Rediscover|Rediscover||8.5")

# Up, down (pressed: darker, sunken, contents shifted) and disabled (greyed).
set(FACE_U "#f4f7fb;#d5dfeb;#5a6b80;#ffffff;#9aa9bb;#1d3f6e;#14253d;0;1")
set(FACE_D "#c3d0df;#e3eaf2;#3b4a5c;#9aa9bb;#ffffff;#1d3f6e;#14253d;1;1")
set(FACE_X "#eceef0;#dcdfe2;#a7adb4;#f7f8f9;#c4c9ce;#9aa1a9;#9aa1a9;0;0.7")

function(kestrelon_render svg png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${RSVG_CONVERT} --format=png --output=${png} ${svg}
    DEPENDS ${svg}
    COMMENT "Rendering ${png}" VERBATIM)
endfunction()

# Renders every picture and writes the source that embeds them; sets OUT_SOURCE.
function(kestrelon_add_resources OUT_SOURCE)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/res)
  file(MAKE_DIRECTORY ${out_dir})
  set(pngs)
  foreach(face ${KESTRELON_BUTTON_FACES})
    string(REPLACE "|" ";" parts "${face}")
    list(GET parts 0 caption)
    list(GET parts 1 LINE1)
    list(GET parts 2 LINE2)
    list(GET parts 3 FONT_SIZE)
    file(READ ${KESTRELON_RES_DIR}/faces/${caption}.glyph GLYPH_SHAPES)
    if(LINE2 STREQUAL "")
      set(LINE1_Y 20)
      set(LINE2_Y 20)
    else()
      set(LINE1_Y 14.5)
      set(LINE2_Y 26)
    endif()
    foreach(state U D X)
      list(GET FACE_${state} 0 FACE_TOP)
      list(GET FACE_${state} 1 FACE_BOTTOM)
      list(GET FACE_${state} 2 EDGE)
      list(GET FACE_${state} 3 BEVEL_LIGHT)
      list(GET FACE_${state} 4 BEVEL_DARK)
      list(GET FACE_${state} 5 GLYPH)
      list(GET FACE_${state} 6 TEXT)
      list(GET FACE_${state} 7 SHIFT)
      list(GET FACE_${state} 8 GLYPH_OPACITY)
      string(TOUPPER "${caption}${state}" name)
      configure_file(${KESTRELON_RES_DIR}/faces/button_face.svg.in ${out_dir}/${name}.svg @ONLY)
      kestrelon_render(${out_dir}/${name}.svg ${out_dir}/${name}.png)
      list(APPEND pngs ${out_dir}/${name}.png)
    endforeach()
  endforeach()

  # The schedule countdown's "Blink" lamp: lit (up) and dark (disabled) only.
  foreach(state U X)
    kestrelon_render(${KESTRELON_RES_DIR}/blink${state}.svg ${out_dir}/BLINK${state}.png)
    list(APPEND pngs ${out_dir}/BLINK${state}.png)
  endforeach()

  kestrelon_render(${KESTRELON_RES_DIR}/checkmarks.svg ${out_dir}/CHECKMARKS.png)
  kestrelon_render(${KESTRELON_RES_DIR}/logo.svg ${out_dir}/LOGO.png)
  kestrelon_render(${KESTRELON_RES_DIR}/kestrelon.svg ${out_dir}/KESTRELON.png)
  list(APPEND pngs ${out_dir}/CHECKMARKS.png ${out_dir}/LOGO.png ${out_dir}/KESTRELON.png)

  set(source ${CMAKE_CURRENT_BINARY_DIR}/embedded_resources.cpp)
  add_custom_command(OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${source} "-DINPUTS=${pngs}" -P ${KESTRELON_RES_DIR}/embed.cmake
    DEPENDS ${pngs} ${KESTRELON_RES_DIR}/embed.cmake
    COMMENT "Embedding pictures" VERBATIM)
  set(${OUT_SOURCE} ${source} PARENT_SCOPE)
endfunction()

# The help book: its pages copied into `dest`/help, and the logo its start page
# shows rendered beside them. Sets OUT_LOGO to the rendered logo, which a target
# must depend on.
function(kestrelon_help_book dest OUT_LOGO)
  file(GLOB help_files CONFIGURE_DEPENDS ${KESTRELON_RES_DIR}/help/*)
  foreach(f ${help_files})
    get_filename_component(n ${f} NAME)
    configure_file(${f} ${dest}/help/${n} COPYONLY)
  endforeach()
  kestrelon_render(${KESTRELON_RES_DIR}/logo.svg ${dest}/help/logo.png)
  set(${OUT_LOGO} ${dest}/help/logo.png PARENT_SCOPE)
endfunction()
