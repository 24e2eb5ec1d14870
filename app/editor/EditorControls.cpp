// The editor's pictures and toolbar: every picture set is loaded from the graphics pack
// first, then every control is created as a top-level window in the order of the table
// below, which is also the table the tooltips are read from.
#include "adventure/movie/MovieHooks.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/AppStyles.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/editor/PickerButtons.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiSlider.h"
#include "storage/SLFastFileStorage.h"

namespace {

constexpr i32 kFatalPicture = -901, kFatalControl = -902;

SL_GS_Image* LoadEditorPicture(const char* name) {
  SL_GS_Image* picture = App_LoadInterfacePicture(name);
  if (!picture) App_Fatal(kFatalPicture, "No puedo cargar im\xe1genes");
  return picture;
}

// A set of four state pictures; the pattern's first "%s" takes the state, a second one
// (if any) an empty text.
void LoadSet(SL_GS_Image* (&set)[4], const char* pattern) {
  for (u32 state = 0; state < APP_STATE_COUNT; ++state) {
    char name[512];
    SLSnprintfA(name, sizeof name, pattern, kAppStateNames[state], "");
    set[state] = LoadEditorPicture(name);
  }
}

#define MENU "Interface/Principal/Men\xfa/"
#define INSERT "Interface/Principal/Botones Inserci\xf3n/"
#define SCENE "Interface/Principal/Manejo Escena/"
#define SELECT "Interface/Principal/Selecci\xf3n Item/"
#define PLAY "Interface/Principal/Botones Reproducci\xf3n/"
#define FRAME "Interface/Principal/Fondo/"

const char* const kMenuSets[kEditorMenuSets] = {MENU "nuevo_%s.mximg",   MENU "abrir_%s.mximg",
                                                MENU "guardar_%s.mximg", MENU "exportarvideo_%s.mximg",
                                                MENU "deshacer_%s.mximg", MENU "camara_%s.mximg",
                                                MENU "ayuda_%s.mximg"};
const char* const kInsertSets[kEditorInsertSets] = {INSERT "escenas_%s.mximg", INSERT "personajes_%s.mximg",
                                                    INSERT "objetos_%s.mximg", INSERT "fx_%s.mximg"};
const char* const kSceneSets[kEditorSceneSets] = {SCENE "flecha_izquierda_%s.mximg", SCENE "flecha_derecha_%s.mximg",
                                                  SCENE "mover_anterior_%s.mximg", SCENE "mover_posterior_%s.mximg"};
const char* const kSelectionSets[kEditorSelectionSets] = {SELECT "flecha_izquierda_%s.mximg",
                                                          SELECT "flecha_derecha_%s.mximg"};
const char* const kPlaybackSets[kEditorPlaybackSets] = {PLAY "accion_%s%s.mximg", PLAY "play_%s.mximg",
                                                        PLAY "pause_%s.mximg",    PLAY "retroceder_%s.mximg",
                                                        PLAY "avanzar_%s.mximg",  PLAY "slider_%s.mximg"};
const char* const kFramePieces[kEditorFramePieces] = {
    FRAME "fondo_left.mximg",          FRAME "fondo_right.mximg",          FRAME "fondo_top.mximg",
    FRAME "fondo_bottom.mximg",        FRAME "fondo_inner_lefttop.mximg",  FRAME "fondo_inner_leftbottom.mximg",
    FRAME "fondo_inner_righttop.mximg", FRAME "fondo_inner_rightbottom.mximg"};

enum ControlKind : u32 { kButton, kPreview, kFrameButton, kSlider };
// The controls are top-level windows drawn from their own pictures only (the slider's
// SL_GUI_SLS_IMAGE is the buttons' SL_GUI_BS_IMAGE bit).
static_assert(u32(SL_GUI_SLS_IMAGE) == u32(SL_GUI_BS_IMAGE));
enum : u32 {
  kVisible = APP_STYLE_SCREEN_BUTTON,
  kHidden = APP_STYLE_SCREEN_BUTTON_HIDDEN,
  kDisabled = APP_STYLE_SCREEN_BUTTON | SL_GUI_WS_DISABLED
};

struct ControlSpec {
  const char* name;
  ControlKind kind;
  u32 id;
  i32 x, y, width, height;
  u32 setIndex;
  u32 style;
  const char* tooltip;
};

// Picture sets by member, so that the table can name them before they are loaded.
SL_GS_Image** SetOf(EditorImages& images, const ControlSpec& spec) {
  switch (spec.kind) {
    case kFrameButton: return &images.thumbnailFrame;
    case kSlider: return images.playback[5];
    default: break;
  }
  if (spec.id >= kIdMenuNuevo) return images.menu[spec.setIndex];
  if (spec.id >= kIdRepPlayFull) return images.playback[spec.setIndex];
  if (spec.id >= kIdSelItemAnt) return images.selectionArrows[spec.setIndex];
  if (spec.id >= kIdManEscIrAnt) return images.scene[spec.setIndex];
  return images.insert[spec.setIndex];
}

const ControlSpec kControls[] = {
    {"InsEscena", kButton, kIdInsEscena, 33, 160, 0, 0, 0, kVisible, "Agrega una nueva escena"},
    {"InsPersonaje", kButton, kIdInsPersonaje, 33, 222, 0, 0, 1, kVisible, "Agrega un nuevo personaje"},
    {"InsObjeto", kButton, kIdInsObjeto, 33, 284, 0, 0, 2, kVisible, "Agrega un nuevo objeto"},
    {"InsFX", kButton, kIdInsFX, 33, 346, 0, 0, 3, kVisible, "Agrega una canci\xf3n o sonido"},
    {"ManEscFotog1b", kPreview, kIdManEscFotog1b, 510, 538, 43, 24, 0, kVisible, "Ir a la escena anterior"},
    {"ManEscFotog1a", kFrameButton, kIdManEscFotog1a, 507, 529, 0, 0, 0, kVisible, "Ir a la escena anterior"},
    {"ManEscFotog2b", kPreview, kIdManEscFotog2b, 566, 538, 43, 24, 0, kVisible,
     "Ver opciones de la escena actual"},
    {"ManEscFotog2a", kFrameButton, kIdManEscFotog2a, 563, 529, 0, 0, 0, kVisible,
     "Ver opciones de la escena actual"},
    {"ManEscFotog3b", kPreview, kIdManEscFotog3b, 622, 538, 43, 24, 0, kVisible, "Ir a la siguiente escena"},
    {"ManEscFotog3a", kFrameButton, kIdManEscFotog3a, 619, 529, 0, 0, 0, kVisible, "Ir a la siguiente escena"},
    {"ManEscIrAnt", kButton, kIdManEscIrAnt, 473, 537, 0, 0, 0, kVisible, "Ir a la escena anterior"},
    {"ManEscIrSig", kButton, kIdManEscIrSig, 663, 537, 0, 0, 1, kVisible, "Ir a la siguiente escena"},
    {"ManEscMovAnt", kButton, kIdManEscMovAnt, 573, 573, 0, 0, 2, kVisible,
     "Mover la escena antes que la previa"},
    {"ManEscMovSig", kButton, kIdManEscMovSig, 592, 573, 0, 0, 3, kVisible,
     "Mover la escena atr\xe1s de la siguiente"},
    {"SelItemAnt", kButton, kIdSelItemAnt, 26, 538, 0, 0, 0, kVisible, "Seleccionar el elemento anterior"},
    {"SelItemSig", kButton, kIdSelItemSig, 68, 538, 0, 0, 1, kVisible, "Seleccionar el siguiente elemento"},
    {"SelItem", kPreview, kIdSelItem, 40, 453, 39, 61, 0, kVisible, "Ver opciones del elemento seleccionado"},
    {"RepPlayFull", kButton, kIdRepPlayFull, 714, 524, 0, 0, 0, kVisible, "Previsualizar la pel\xed" "cula"},
    {"RepPlay", kButton, kIdRepPlay, 123, 536, 0, 0, 1, kVisible, "Previsualizar la escena actual"},
    {"RepPause", kButton, kIdRepPause, 123, 536, 0, 0, 2, kHidden, "Detener previsualizaci\xf3n"},
    {"RepPrev", kButton, kIdRepPrev, 162, 540, 0, 0, 3, kVisible, "Ir al cuadro anterior"},
    {"RepNext", kButton, kIdRepNext, 413, 540, 0, 0, 4, kVisible, "Ir al siguiente cuadro"},
    {"RepSlider", kSlider, kIdRepSlider, 200, 521, 207, 60, 5, kVisible,
     "Moverse a trav\xe9s de los cuadros de la escena actual"},
    {"MenuNuevo", kButton, kIdMenuNuevo, 123, 123, 0, 0, 0, kVisible, "Comenzar una nueva pel\xed" "cula"},
    {"MenuAbrir", kButton, kIdMenuAbrir, 153, 123, 0, 0, 1, kVisible, "Cargar una pel\xed" "cula guardada"},
    {"MenuGuardar", kButton, kIdMenuGuardar, 183, 123, 0, 0, 2, kVisible, "Guardar la pel\xed" "cula actual"},
    {"MenuExportar", kButton, kIdMenuExportar, 217, 123, 0, 0, 3, kVisible, "Exportar la pel\xed" "cula actual"},
    {"MenuDeshacer", kButton, kIdMenuDeshacer, 244, 123, 0, 0, 4, kDisabled,
     "Deshacer el \xfaltimo cambio efectuado"},
    {"MenuPlayMovie", kButton, kIdMenuPlayMovie, 274, 123, 0, 0, 5, kVisible,
     "Ver la pel\xed" "cula en el cine"},
    {"MenuAyuda", kButton, kIdMenuAyuda, 375, 123, 0, 0, 6, kVisible, "Ayuda del programa"},
};

bool SliderSetRange(CSL_GS_GuiWindow* slider, u32 range) {
  return slider->IsKindOf(CSL_GS_GuiSliderBase::GetClassRecord()) &&
         static_cast<CSL_GS_GuiSliderBase*>(slider)->SetRange(range);
}
bool SliderSetPosition(CSL_GS_GuiWindow* slider, u32 position) {
  return slider->IsKindOf(CSL_GS_GuiSliderBase::GetClassRecord()) &&
         static_cast<CSL_GS_GuiSliderBase*>(slider)->SetPosition(position);
}

CSL_GS_GuiWindow* CreateControl(const ControlSpec& spec, EditorImages& images) {
  CMyGuiManager& gui = App_GuiManager();
  const SLClassRecord* record = spec.kind == kPreview  ? CMyMiniItemPreviewButton::GetClassRecord()
                                : spec.kind == kSlider ? CSL_GS_GuiHSlider::GetClassRecord()
                                                       : CSL_GS_GuiButton::GetClassRecord();
  const i32 width = spec.width ? spec.width : 100, height = spec.height ? spec.height : 100;
  CSL_GS_GuiWindow* control =
      gui.CreateWindow(record, spec.name, spec.x, spec.y, width, height, spec.style, AppSkin, spec.id, nullptr);
  if (!control) return nullptr;
  bool ok = true;
  SL_GS_Image** set = SetOf(images, spec);
  switch (spec.kind) {
    case kButton: ok = AppButton_SetPictures(control, set, APP_STATE_COUNT); break;
    case kFrameButton: ok = AppButton_SetPictures(control, set, 1); break;
    case kSlider: {
      auto* slider = static_cast<CSL_GS_GuiSliderBase*>(control);
      ok = slider->SetThumbNormalImage(set[0]) && slider->SetThumbOverImage(set[1]) &&
           slider->SetThumbClickImage(set[2]) && slider->SetThumbDisabledImage(set[3]) &&
           slider->SetTrackImage(images.sliderTrack);
      break;
    }
    case kPreview: break;
  }
  if (!ok) {
    gui.DestroyWindow(control);
    return nullptr;
  }
  return control;
}

void LoadPictures(EditorImages& images) {
  for (u32 i = 0; i < kEditorMenuSets; ++i) LoadSet(images.menu[i], kMenuSets[i]);
  for (u32 i = 0; i < kEditorInsertSets; ++i) LoadSet(images.insert[i], kInsertSets[i]);
  for (u32 i = 0; i < kEditorSceneSets; ++i) LoadSet(images.scene[i], kSceneSets[i]);
  images.thumbnailFrame = LoadEditorPicture(SCENE "fondo_fotograma.mximg");
  for (u32 i = 0; i < kEditorSelectionSets; ++i) LoadSet(images.selectionArrows[i], kSelectionSets[i]);
  for (u32 i = 0; i < kEditorPlaybackSets; ++i) LoadSet(images.playback[i], kPlaybackSets[i]);
  images.sliderTrack = LoadEditorPicture(PLAY "slider_fondo.mximg");
  for (u32 i = 0; i < kEditorAssistants; ++i) {
    char name[128];
    SLSnprintfA(name, sizeof name, "Interface/Asistente/asistente%ld.mximg", long(i + 1));
    images.assistants[i] = LoadEditorPicture(name);
  }
  images.textBox = LoadEditorPicture("Interface/Recuadro Texto/recuadro.mximg");
  for (u32 i = 0; i < kEditorFramePieces; ++i) images.frame[i] = LoadEditorPicture(kFramePieces[i]);
}

}  // namespace

const char* EditorScreen_TooltipText(u32 id) {
  for (const ControlSpec& spec : kControls)
    if (spec.id == id) return spec.tooltip;
  return nullptr;
}

void EditorScreen_Load() {
  EditorState& state = Editor_State();
  LoadPictures(state.images);
  for (const ControlSpec& spec : kControls)
    if (!CreateControl(spec, state.images)) App_Fatal(kFatalControl, "Insuficiente memoria");
  // The movie reaches the timeline and the hit records only through these seams.
  MovieTimeline_Set({&App_GuiManager(), &SliderSetRange, &SliderSetPosition});
  Movie_SetSelectionClearHook(&Editor_ClearSelection);
  Balloon_SetPicture(state.images.textBox);

  EditorTooltip& tooltip = state.tooltip;
  tooltip.balloon.font = AppCommonFonts[APP_FONT_TAHOMA_8];
  Balloon_SetStyle(&tooltip.balloon, 19);
  Balloon_SetText(&tooltip.balloon, nullptr);
  Balloon_Layout(&tooltip.balloon);
  tooltip.pollCounter = tooltip.state = 0;
  tooltip.counter = tooltip.x = tooltip.y = tooltip.lastMouseX = tooltip.lastMouseY = 0;
  tooltip.lastControlId = tooltip.lastParentId = 0;
  Editor_ClearSelection();
  state.stageMode = kStageSelect;
  state.pressMoved = 0;
  state.popups = EditorPopups{};
  state.playback = EditorPlaybackState{};
  state.leaveEditor = 0;
  state.loaded = 1;
  Movie* movie = Editor_Movie();
  Movie_SelectScene(movie, movie->currentScene);
  SLSetLastError(SL_OK);
}

void EditorControls_DestroyPictures() {
  EditorState& state = Editor_State();
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  SLErrorKeeper keep;
  if (state.images.textBox && Balloon_GetPicture() == state.images.textBox) Balloon_SetPicture(nullptr);
  auto* first = reinterpret_cast<SL_GS_Image**>(&state.images);
  const u32 count = u32(sizeof(EditorImages) / sizeof(SL_GS_Image*));
  for (u32 i = 0; i < count; ++i) {
    if (first[i]) gfx->DestroyImage(first[i]);
    first[i] = nullptr;
  }
}
