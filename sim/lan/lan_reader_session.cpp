#include "sim/lan/lan_reader_session.h"

namespace tw::sim {

namespace {
class ReaderSession : public ILanDataSession {
 public:
  explicit ReaderSession(SimReader& reader) : reader_(reader) {}
  void OnBytes(const uint8_t* data, size_t len, std::vector<uint8_t>& out) override {
    out.clear();
    reader_.ServeBytes(decoder_, data, len, [&out](const std::vector<uint8_t>& bytes) {
      out.insert(out.end(), bytes.begin(), bytes.end());
    });
  }

 private:
  SimReader& reader_;
  SimFrameDecoder decoder_;
};
}  // namespace

std::unique_ptr<ILanDataSession> MakeReaderSession(SimReader& reader) {
  return std::make_unique<ReaderSession>(reader);
}

}  // namespace tw::sim
