#include "layers/LayerManager.h"

#include "core/InternalError.h"
#include "platform/Messages.h"

namespace zelvo {

LayerManager::LayerManager(FileDynamicStore& store, const PercentTables& tables,
                           ImageGeometry& image, int32_t screenWidth, int32_t screenHeight)
    : m_store(store),
      m_tables(tables),
      m_image(image),
      m_screenWidth(screenWidth),
      m_screenHeight(screenHeight) {}

LayerManager::~LayerManager() {
    DestroyAll();
}

void LayerManager::RequestRender(int code) {
    if (m_events) m_events->RequestRender(code);
}

void LayerManager::RefreshPalette() {
    if (m_events) m_events->RefreshLayersPalette();
}

LayerPtr LayerManager::LayerAt(int index) const {
    if (index < 0 || index >= LayerCount()) return nullptr;
    return m_layers[size_t(index)];
}

int LayerManager::IndexOf(const Layer* layer) const {
    for (size_t i = 0; i < m_layers.size(); ++i)
        if (m_layers[i].get() == layer) return int(i);
    return -1;
}

LayerPtr LayerManager::FindById(int32_t id) const {
    for (const LayerPtr& l : m_layers)
        if (l->Id() == id) return l;
    return nullptr;
}

bool LayerManager::InsertAt(int index, LayerPtr layer) {
    if (!layer || index < 0 || index > LayerCount()) return false;
    m_layers.insert(m_layers.begin() + index, std::move(layer));
    return true;
}

LayerPtr LayerManager::ReplaceAt(int index, LayerPtr layer) {
    if (!layer || index < 0 || index >= LayerCount()) return nullptr;
    LayerPtr old = std::move(m_layers[size_t(index)]);
    m_layers[size_t(index)] = std::move(layer);
    return old;
}

LayerPtr LayerManager::RemoveAt(int index) {
    if (index < 0 || index >= LayerCount()) return nullptr;
    LayerPtr old = std::move(m_layers[size_t(index)]);
    m_layers.erase(m_layers.begin() + index);
    return old;
}

bool LayerManager::CheckLayerList() {
    if (m_layers.empty() || CurrentIndex() < 0) {
        AppMessages().Show("LayerManager::CheckLayerList() 没有sellayer");
        ShowInternalError(1018);
        return false;
    }
    for (const LayerPtr& l : m_layers)
        if (l->Id() < 0 || l->Id() > Layer::kMaxId) return false;
    return true;
}

int LayerManager::CurrentIndex() const {
    for (size_t i = 0; i < m_layers.size(); ++i)
        if (m_layers[i]->IsCurrent()) return int(i);
    return -1;
}

LayerPtr LayerManager::CurrentLayer() {
    const int index = CurrentIndex();
    if (index >= 0) return m_layers[size_t(index)];
    ShowInternalError(1038);
    if (m_layers.empty()) return nullptr;
    m_layers.front()->SetCurrent(true);
    return m_layers.front();
}

void LayerManager::MakeCurrent(int index) {
    for (size_t i = 0; i < m_layers.size(); ++i) m_layers[i]->SetCurrent(int(i) == index);
}

bool LayerManager::SelectLayerById(int32_t id, int redraw, int32_t flag) {
    int found = -1;
    for (size_t i = 0; i < m_layers.size(); ++i)
        if (m_layers[i]->Id() == id) {
            found = int(i);
            break;
        }
    // An unknown id changes nothing: clearing every flag would leave no current layer.
    if (found < 0) return false;
    MakeCurrent(found);
    m_image.flag = flag;
    if (redraw == 1) RequestRender(5);
    return true;
}

bool LayerManager::SelectLayerByIndex(int n) {
    if (n < 1 || n > LayerCount()) return false;
    MakeCurrent(n - 1);
    RequestRender(2);
    RefreshPalette();
    return true;
}

LayerPtr LayerManager::RemoveLayerById(int32_t id) {
    for (size_t i = 0; i < m_layers.size(); ++i)
        if (m_layers[i]->Id() == id) return RemoveAt(int(i));
    return nullptr;
}

bool LayerManager::CreateFirstLayer(int32_t width, int32_t height) {
    auto layer = std::make_shared<Layer>(m_store);
    if (!layer->Create(width, height, LayerKind::Pixel, NextId())) return false;
    layer->SetSerial(NextSerial());
    m_layers.insert(m_layers.begin(), layer);
    MakeCurrent(0);
    if (!m_display) {
        auto display = std::make_unique<Layer>(m_store);
        if (display->Create(m_screenWidth, m_screenHeight, LayerKind::Pixel, 0))
            m_display = std::move(display);
    }
    return true;
}

bool LayerManager::CreateDisplayBuffer() {
    if (m_display) return true;
    auto display = std::make_unique<Layer>(m_store);
    if (!display->Create(m_screenWidth, m_screenHeight, LayerKind::Pixel, 0)) return false;
    m_display = std::move(display);
    return true;
}

LayerPtr LayerManager::AppendLayer(int32_t width, int32_t height, LayerKind kind) {
    auto layer = std::make_shared<Layer>(m_store);
    if (!layer->Create(width, height, kind, NextId())) return nullptr;
    layer->SetSerial(NextSerial());
    m_layers.push_back(layer);
    return layer;
}

void LayerManager::DestroyAll() {
    // Each layer frees its block when its last holder lets go; layers the history still
    // refers to stay alive until it clears.
    while (!m_layers.empty()) m_layers.pop_back();
    m_selection.reset();
    m_selectionBounds = {};
    m_lastDeselected.reset();
    m_displayRows.reset();
    m_sourceMapping.Release();
    m_display.reset();
}

int LayerManager::HitTest(int32_t viewX, int32_t viewY) {
    const float zoom = m_image.zoom;
    if (!(zoom > 0.0f)) return 0;
    const int32_t cx =
        m_image.visible.left + int32_t(float(viewX - m_image.screenRect.left) / zoom);
    const int32_t cy = m_image.visible.top + int32_t(float(viewY - m_image.screenRect.top) / zoom);
    if (!Rect{0, 0, m_image.width, m_image.height}.Contains({cx, cy})) return 0;

    const int count = LayerCount();
    int visited = 0;
    for (int i = count - 1; i >= 0; --i) {
        ++visited;
        Layer& layer = *m_layers[size_t(i)];
        if (!layer.ContainsOpaquePixel(cx, cy)) continue;
        if (layer.IsCurrent()) return 1;
        SelectLayerByIndex(count - visited + 1);
        return 1;
    }
    return 0;
}

}  // namespace zelvo
