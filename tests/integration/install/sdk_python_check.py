"""The installed Python module against a simulated reader (argv[1]) with an ATA5577 in its field."""
import sys

import tagwright_sdk as lf

try:
    lf.Reader("/nonexistent/tty")
    sys.exit("opening a missing device did not raise")
except lf.LfError as e:
    assert e.code == 6 and e.text == "Error opening the port" and e.result < 0, e
    assert e.reason == lf.open_error() == "no such device: /nonexistent/tty", e.reason

with lf.Reader(sys.argv[1]) as reader:
    assert lf.open_error() == ""
    raw, model = reader.version()
    assert len(raw) == 4 and model, (raw, model)
    assert reader.can_write()
    assert reader.read_uid(lf.ATA5577).hex().upper() == "A1A215E0B1B2B3B5", reader.read_uid(lf.ATA5577)
    reader.write_blocks(lf.ATA5577, 1, b"\x01\x02\x03\x04\x05\x06")
    assert reader.read_blocks(lf.ATA5577, 1, 8) == b"\x01\x02\x03\x04\x05\x06\x00\x00"
    try:
        reader.read_blocks(lf.ATA5577, 200, 4)
        sys.exit("a block outside the tag did not raise")
    except lf.LfError as e:
        assert e.code == 12 and e.function == "LF_ReadBlocks" and e.result == -1, e
print("python module ok:", model)
