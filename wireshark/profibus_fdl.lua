-- PROFIBUS FDL telegrams as the capture module records them: a Wireshark dissector for the
-- pcapng files of fdc2pcapng (link type USER0: the record's status byte, then the frame bytes).
--
-- It decodes exactly what fdcdump decodes: the same kind and length checks, the same marks for a
-- malformed frame, the same function-code names; and the DP services as the engine's DP layer
-- decodes them, into fields fdl.dp.<service>.<member>. Install it by copying this file to
-- ~/.local/lib/wireshark/plugins/, or load it once:
--   tshark -X lua_script:wireshark/profibus_fdl.lua -r file.pcapng
-- Files of link type 257 (frame bytes alone) decode with the preference fdl.link_type_257 set:
--   tshark -X lua_script:wireshark/profibus_fdl.lua -o fdl.link_type_257:TRUE -r file.pcapng
-- Link type USER0 is claimed through the preference fdl.claim_user0 (on); turn it off to open
-- another tool's USER0 captures.

local fdl = Proto("FDL", "PROFIBUS FDL")

local SD1, SD2, SD3, SD4, SC, ED = 0x10, 0x68, 0xA2, 0xDC, 0xE5, 0x16

local kind_names = {[SD1] = "SD1", [SD2] = "SD2", [SD3] = "SD3", [SD4] = "SD4", [SC] = "SC"}

-- The dump's names of the function codes. A code without a name shows as "Typ?(%02x)" with the
-- whole FC byte.
local request_names = {
  [0x00] = "MTM1", [0x01] = "MSRD", [0x02] = "MSDN", [0x03] = "SDAL", [0x04] = "SDNL",
  [0x05] = "SDAH", [0x06] = "SDNH", [0x07] = "RDD", [0x08] = "GSRD", [0x09] = "RFDL",
  [0x0A] = "MDLY", [0x0B] = "MKEP", [0x0C] = "SRDL", [0x0D] = "SRDH", [0x0E] = "RIR",
  [0x0F] = "RLSR", [0x80] = "MTM2",
}
local response_names = {
  [0x0] = "OK", [0x1] = "UE", [0x2] = "RR", [0x3] = "RS", [0x8] = "DL", [0x9] = "NR",
  [0xA] = "DH", [0xC] = "RDL", [0xD] = "RDH",
}
local station_types = {[0] = "slave", [1] = "master-not-ready", [2] = "master-ready",
                       [3] = "master-in-ring"}

-- PROFIBUS DP services by the SAP of the slave: the DSAP of a request, the SSAP of its response
-- (a response goes back to the master's SAP, which names no service).
local dp_services = {
  [55] = "Set_Slave_Add", [56] = "Rd_Inp", [57] = "Rd_Outp", [58] = "Global_Control",
  [59] = "Get_Cfg", [60] = "Slave_Diag", [61] = "Set_Prm", [62] = "Chk_Cfg",
}

-- The status byte's flags, bit 0 first: the letters the dump shows for them, their ShowOnly names
-- and what they say (the engine's words; a test holds this table to the engine's).
local status_bits = {
  {"s", "STSSTP", "stop bit"}, {"p", "STSPAR", "parity"}, {"d", "STSSD", "start delimiter"},
  {"r", "STSRPT", "repeat"}, {"u", "STSUND", "underrun"}, {"o", "STSOVR", "overrun"},
  {"c", "STSCHK", "check"}, {"e", "STSED", "end delimiter"},
}

-- The standard's names of the function codes (FC AND 0x0F), beside the dump's mnemonics.
local standard_requests = {
  [0x0] = "TE", [0x3] = "SDA_low", [0x4] = "SDN_low", [0x5] = "SDA_high", [0x6] = "SDN_high",
  [0x7] = "MSRD", [0x9] = "Request FDL Status", [0xC] = "SRD_low", [0xD] = "SRD_high",
  [0xE] = "Request Ident", [0xF] = "Request LSAP Status",
}
local standard_responses = {
  [0x0] = "OK", [0x1] = "UE", [0x2] = "RR", [0x3] = "RS", [0x8] = "DL", [0x9] = "NR",
  [0xA] = "DH", [0xC] = "RDL", [0xD] = "RDH",
}
-- Wireshark's checksum status values.
local checksum_status = {[0] = "Bad", [1] = "Good"}

local f = {
  status = ProtoField.uint8("fdl.status", "Status", base.HEX),
  sd = ProtoField.uint8("fdl.sd", "Start delimiter", base.HEX, kind_names),
  le = ProtoField.uint8("fdl.le", "Length (LE)", base.DEC),
  ler = ProtoField.uint8("fdl.ler", "Length repeated (LEr)", base.DEC),
  sd_repeat = ProtoField.uint8("fdl.sd_repeat", "Start delimiter repeated", base.HEX),
  da = ProtoField.uint8("fdl.da", "Destination address", base.DEC, nil, 0x7F),
  da_ext = ProtoField.bool("fdl.da_ext", "DSAP follows", 8, nil, 0x80),
  sa = ProtoField.uint8("fdl.sa", "Source address", base.DEC, nil, 0x7F),
  sa_ext = ProtoField.bool("fdl.sa_ext", "SSAP follows", 8, nil, 0x80),
  fc = ProtoField.uint8("fdl.fc", "Function code", base.HEX),
  fc_request = ProtoField.bool("fdl.fc.request", "Request", 8, nil, 0x40),
  fc_fcb = ProtoField.bool("fdl.fc.fcb", "Frame count bit (FCB)", 8, nil, 0x20),
  fc_fcv = ProtoField.bool("fdl.fc.fcv", "Frame count valid (FCV)", 8, nil, 0x10),
  fc_function = ProtoField.string("fdl.fc.function", "Function"),
  fc_station_type = ProtoField.string("fdl.fc.station_type", "Station type"),
  dsap = ProtoField.uint8("fdl.dsap", "DSAP", base.DEC),
  ssap = ProtoField.uint8("fdl.ssap", "SSAP", base.DEC),
  dp_service = ProtoField.string("fdl.dp_service", "DP service"),
  data = ProtoField.bytes("fdl.data", "Data", base.SPACE),
  fcs = ProtoField.uint8("fdl.fcs", "Frame check sequence (FCS)", base.HEX),
  fcs_status = ProtoField.string("fdl.fcs.status", "FCS status"),
  fcs_check = ProtoField.uint8("fdl.fcs.check", "FCS check", base.DEC, checksum_status),
  addr = ProtoField.uint8("fdl.addr", "Source or destination address", base.DEC),
  data_len = ProtoField.uint8("fdl.data.len", "Data length", base.DEC),
  fc_code = ProtoField.uint8("fdl.fc.code", "Function code number", base.HEX, nil, 0x0F),
  fc_station_type_code = ProtoField.uint8("fdl.fc.station_type_code", "Station type code",
                                          base.DEC, station_types, 0x30),
  fc_standard_name = ProtoField.string("fdl.fc.standard_name", "Standard name"),
  ed = ProtoField.uint8("fdl.ed", "End delimiter", base.HEX),
  raw = ProtoField.bytes("fdl.raw", "Frame bytes", base.SPACE),
  -- The marks of the dump line, as it prints them: length and kind marks, a wrong ED.
  mark = ProtoField.string("fdl.mark", "Dump mark"),
}
local status_masks = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}
for i, bit in ipairs(status_bits) do
  f["status_" .. bit[1]] = ProtoField.bool("fdl.status." .. bit[1], bit[2] .. " (" .. bit[1] .. ")",
                                           8, nil, status_masks[i])
end

local fields = {}
for _, field in pairs(f) do fields[#fields + 1] = field end

local ex = {
  malformed = ProtoExpert.new("fdl.malformed", "Malformed FDL frame", expert.group.MALFORMED,
                              expert.severity.ERROR),
  fcs_bad = ProtoExpert.new("fdl.fcs.bad", "Bad FCS", expert.group.CHECKSUM,
                            expert.severity.WARN),
  ed_bad = ProtoExpert.new("fdl.ed.bad", "Bad end delimiter", expert.group.MALFORMED,
                           expert.severity.WARN),
  no_status = ProtoExpert.new("fdl.no_status", "Packet without status byte",
                              expert.group.MALFORMED, expert.severity.ERROR),
  status_bits = ProtoExpert.new("fdl.status.error", "Status bits set by the capture module",
                                expert.group.PROTOCOL, expert.severity.WARN),
}

fdl.prefs.claim_user0 = Pref.bool(
    "Decode USER0 (147) as FDL", true,
    "Our exports use link type USER0; turn this off to open another tool's USER0 captures")

fdl.prefs.link_type_257 = Pref.bool(
    "Decode unknown link types as FDL frames", false,
    "This Wireshark does not know link type 257 (PROFIBUS, frame bytes without status byte) " ..
    "and shows its packets as UNKNOWN; when set, every packet of an unknown link type is " ..
    "decoded as an FDL frame")

-- Bit arithmetic that works on every Lua version Wireshark has shipped (no bit32 in 5.4).
local function has(value, mask) return math.floor(value / mask) % 2 == 1 end
local function hex2(value) return string.format("%02x", value) end

local function function_name(fc)
  local name
  if has(fc, 0x40) then
    name = request_names[fc % 16 + (has(fc, 0x80) and 0x80 or 0)]
  else
    name = response_names[fc % 16]
  end
  return name or ("Typ?(" .. hex2(fc) .. ")")
end

local function standard_name(fc)
  local code = fc % 16
  if not has(fc, 0x40) then return standard_responses[code] or "reserved" end
  if code == 0 and has(fc, 0x80) then return "CV" end
  return standard_requests[code] or "reserved"
end

local function hex_bytes(frame, from, count)
  local parts = {}
  for i = from, from + count - 1 do parts[#parts + 1] = hex2(frame[i]) end
  return table.concat(parts, " ")
end

-- The packet bytes that hold frame bytes [from, from + count): USER0 packets start with the status.
local function range(ctx, from, count) return ctx.tvb(ctx.offset + from, count) end

-- --- The DP services' data units ---------------------------------------------------------------
-- The decoders follow the engine's DP layer rule for rule; each field is named fdl.dp.<service>.
-- <member>, the member named as in fdcstat's JSON (fdl.dp.diag.prm_fault, fdl.dp.prm.watchdog_ms).

local function range_name(table_, value)
  for _, row in ipairs(table_) do
    if value >= row[1] and value <= row[2] then return row[3] end
  end
  return "reserved"
end
local directions = {{1, 1, "input"}, {2, 2, "output"}, {3, 3, "input_output"}}
local channel_types = {{1, 1, "bit"}, {2, 2, "2_bits"}, {3, 3, "4_bits"}, {4, 4, "byte"},
                       {5, 5, "word"}, {6, 6, "2_words"}}
local channel_errors = {{1, 1, "short_circuit"}, {2, 2, "undervoltage"}, {3, 3, "overvoltage"},
                        {4, 4, "overload"}, {5, 5, "overtemperature"}, {6, 6, "line_break"},
                        {7, 7, "upper_limit"}, {8, 8, "lower_limit"}, {9, 9, "error"},
                        {16, 31, "manufacturer"}}
local alarm_types = {{1, 1, "diagnostic"}, {2, 2, "process"}, {3, 3, "pull"}, {4, 4, "plug"},
                     {5, 5, "status"}, {6, 6, "update"}, {32, 126, "manufacturer"}}
local status_types = {{1, 1, "status_message"}, {2, 2, "module_status"},
                      {3, 3, "dxb_link_status"}, {30, 30, "prm_command_ack"},
                      {31, 31, "status_read"}, {32, 126, "manufacturer"}}
local alarm_specifiers = {{0, 0, "none"}, {1, 1, "appears"}, {2, 2, "disappears"},
                          {3, 3, "disappears_others_remain"}}
local status_specifiers = {{0, 0, "none"}, {1, 1, "appears"}, {2, 2, "disappears"}}
local dpv1_functions = {{0x5E, 0x5E, "read"}, {0x5F, 0x5F, "write"}, {0x5C, 0x5C, "alarm_ack"},
                        {0x51, 0x51, "data_transport"}, {0x57, 0x57, "initiate"},
                        {0x58, 0x58, "abort"}, {0x48, 0x48, "idle"}}
local dpv1_error_decodes = {{0x80, 0x80, "dpv1"}, {0xFE, 0xFE, "fms"}, {0xFF, 0xFF, "hart"}}
local dpv1_error_classes = {{10, 10, "application"}, {11, 11, "access"}, {12, 12, "resource"},
                            {13, 13, "user"}}

-- The diagnosis flags in the decoder's order: byte, bit, and whether the flag means the bit is
-- clear.
local diag_flags = {
  {"station_non_existent", 0, 0}, {"station_not_ready", 0, 1}, {"cfg_fault", 0, 2},
  {"ext_diag", 0, 3}, {"not_supported", 0, 4}, {"invalid_slave_response", 0, 5},
  {"prm_fault", 0, 6}, {"master_lock", 0, 7}, {"prm_req", 1, 0}, {"stat_diag", 1, 1},
  {"bit2_clear", 1, 2, true}, {"wd_on", 1, 3}, {"freeze_mode", 1, 4}, {"sync_mode", 1, 5},
  {"deactivated", 1, 7}, {"ext_diag_overflow", 2, 7},
}
local prm_flags = {{"wd_on", 3}, {"freeze_req", 4}, {"sync_req", 5}, {"unlock_req", 6},
                   {"lock_req", 7}}
-- The DP-V1 status bytes of Set_Prm: byte, bit, name.
local prm_dpv1_flags = {
  {7, 7, "dpv1_enable"}, {7, 6, "fail_safe"}, {7, 5, "publisher"}, {7, 2, "wd_base_1ms"},
  {8, 0, "reduced_chk_cfg"}, {8, 2, "alarm_update"}, {8, 3, "alarm_status"},
  {8, 4, "alarm_manufacturer"}, {8, 5, "alarm_diagnostic"}, {8, 6, "alarm_process"},
  {8, 7, "alarm_pull_plug"}, {9, 3, "prm_block"}, {9, 4, "isochronous"}, {9, 7, "redundancy"},
}
local alarm_counts = {[0] = 1, 2, 4, 8, 12, 16, 24, 32}
local gc_commands = {{"clear_data", 1}, {"unfreeze", 2}, {"freeze", 3}, {"unsync", 4},
                     {"sync", 5}}

-- The fields, made once by name: "diag.prm_fault" is fdl.dp.diag.prm_fault.
local dpf = {}
local function dp_field(name, kind)
  local full = "fdl.dp." .. name
  local label = name:gsub("^[^.]*%.", ""):gsub("_", " ")
  if kind == "bool" then
    dpf[name] = ProtoField.bool(full, label)
  elseif kind == "bytes" then
    dpf[name] = ProtoField.bytes(full, label, base.SPACE)
  elseif kind == "string" then
    dpf[name] = ProtoField.string(full, label)
  else
    dpf[name] = ProtoField.uint32(full, label, base.DEC)
  end
end
for _, flag in ipairs(diag_flags) do dp_field("diag." .. flag[1], "bool") end
for _, name in ipairs({"diag.master_address", "diag.ident_number", "diag.device.length",
                       "diag.identifier.length", "diag.identifier.modules",
                       "diag.channel.module", "diag.channel.channel", "diag.channel.error",
                       "diag.alarm.length", "diag.alarm.alarm_type", "diag.alarm.slot",
                       "diag.alarm.sequence", "diag.status.length", "diag.status.status_type",
                       "diag.status.slot", "prm.wd_fact_1", "prm.wd_fact_2",
                       "prm.min_tsdr_bits", "prm.ident_number", "prm.group_ident",
                       "prm.alarm_count", "prm.watchdog_ms", "cfg.identifier.length",
                       "cfg.identifier.bytes", "cfg.identifier.output", "cfg.identifier.input",
                       "cfg.input_bytes", "cfg.output_bytes", "gc.reserved_bits",
                       "gc.group_select", "ssa.new_address", "ssa.ident_number",
                       "ssa.no_add_chg", "v1.function", "v1.error_decode", "v1.error_code",
                       "v1.error_code_2", "v1.slot", "v1.index", "v1.length", "v1.alarm_type",
                       "v1.specifier"}) do
  dp_field(name, "uint")
end
for _, name in ipairs({"diag.channel.direction", "diag.channel.type", "diag.channel.error_name",
                       "diag.alarm.alarm_type_name", "diag.alarm.specifier",
                       "diag.status.status_type_name", "diag.status.specifier",
                       "cfg.identifier.kind", "cfg.identifier.direction", "cfg.identifier.unit",
                       "v1.function_name", "v1.error_decode_name", "v1.error_class",
                       "v1.alarm_type_name"}) do
  dp_field(name, "string")
end
for _, name in ipairs({"diag.device.data", "diag.alarm.data", "diag.status.data",
                       "prm.user_prm_data", "cfg.identifier.hex",
                       "cfg.identifier.manufacturer_data", "ssa.user_data", "v1.data"}) do
  dp_field(name, "bytes")
end
for _, name in ipairs({"diag.alarm.add_ack", "cfg.identifier.consistent", "v1.error_reply"}) do
  dp_field(name, "bool")
end
for _, flag in ipairs(prm_flags) do dp_field("prm." .. flag[1], "bool") end
for _, flag in ipairs(prm_dpv1_flags) do dp_field("prm." .. flag[3], "bool") end
for _, command in ipairs(gc_commands) do dp_field("gc." .. command[1], "bool") end
for _, key in ipairs({"diag", "prm", "cfg", "gc", "ssa", "v1"}) do
  dp_field(key .. ".malformed", "string")
  dp_field(key .. ".remark", "string")
end
for _, field in pairs(dpf) do fields[#fields + 1] = field end
fdl.fields = fields

local dp_ex = {
  warning = ProtoExpert.new("fdl.dp.warning", "DP diagnosis fault", expert.group.RESPONSE_CODE,
                            expert.severity.WARN),
  note = ProtoExpert.new("fdl.dp.note", "DP note", expert.group.SEQUENCE, expert.severity.NOTE),
  malformed = ProtoExpert.new("fdl.dp.malformed", "Malformed DP data unit",
                              expert.group.MALFORMED, expert.severity.ERROR),
}
fdl.experts = {ex.malformed, ex.fcs_bad, ex.ed_bad, ex.no_status, ex.status_bits, dp_ex.warning,
               dp_ex.note, dp_ex.malformed}

-- Where a slave's device-related blocks are DP-V1 alarms: the last Set_Prm to it that the next
-- frame answered positively. Learnt on the first pass, kept per frame for later passes.
local dpv1_of_slave, dpv1_at_frame, pending_prm = {}, {}, nil

function fdl.init()
  dpv1_of_slave, dpv1_at_frame, pending_prm = {}, {}, nil
end

-- A data unit: the frame bytes [at, at + size) and the packet's tree for them.
local function byte(unit, i) return unit.frame[unit.at + i] end
local function unit_range(unit, from, count)
  if count == nil then count = unit.size - from end
  return range(unit.ctx, unit.at + from, count)
end
local function add(tree, unit, name, from, count, value)
  if value == nil then return tree:add(dpf[name], unit_range(unit, from, count)) end
  return tree:add(dpf[name], unit_range(unit, from, count), value)
end
local function bit(value, n) return has(value, 2 ^ n) end
local function u16(unit, i) return byte(unit, i) * 256 + byte(unit, i + 1) end
local function malformed(tree, unit, key, reason)
  add(tree, unit, key .. ".malformed", 0, unit.size, reason)
  tree:add_proto_expert_info(dp_ex.malformed, "DP data unit " .. reason)
end

local function add_diag_block(tree, unit, at, dpv1, index)
  local head = byte(unit, at)
  local kind = math.floor(head / 64)
  if kind == 3 then
    add(tree, unit, "diag.remark", at, 1, "reserved block")
    return nil
  end
  if kind == 2 then
    if unit.size - at < 3 then malformed(tree, unit, "diag", "cut off") return nil end
    local b1, b2 = byte(unit, at + 1), byte(unit, at + 2)
    local block = tree:add(unit_range(unit, at, 3), "Block " .. index .. ": channel")
    local error = b2 % 32
    add(block, unit, "diag.channel.module", at, 1, head % 64)
    add(block, unit, "diag.channel.channel", at + 1, 1, b1 % 64)
    add(block, unit, "diag.channel.direction", at + 1, 1, range_name(directions, math.floor(b1 / 64)))
    add(block, unit, "diag.channel.type", at + 2, 1, range_name(channel_types, math.floor(b2 / 32)))
    add(block, unit, "diag.channel.error", at + 2, 1, error)
    add(block, unit, "diag.channel.error_name", at + 2, 1, range_name(channel_errors, error))
    block:add_proto_expert_info(dp_ex.warning, "channel error: module " .. head % 64 ..
                                " channel " .. b1 % 64 .. " " .. range_name(channel_errors, error))
    return 3
  end
  local length = head % 64
  if length == 0 then malformed(tree, unit, "diag", "block length 0") return nil end
  if length > unit.size - at then malformed(tree, unit, "diag", "cut off") return nil end
  local name = kind == 1 and "identifier" or (dpv1 and length >= 4) and
               (bit(byte(unit, at + 1), 7) and "status" or "alarm") or "device"
  local block = tree:add(unit_range(unit, at, length), "Block " .. index .. ": " .. name)
  local key = "diag." .. name
  add(block, unit, key .. ".length", at, 1, length)
  if name == "identifier" then
    for j = 1, length - 1 do
      for b = 0, 7 do
        if bit(byte(unit, at + j), b) then
          add(block, unit, key .. ".modules", at + j, 1, 8 * (j - 1) + b)
        end
      end
    end
  elseif name == "device" then
    if length > 1 then add(block, unit, key .. ".data", at + 1, length - 1) end
  else
    local type_, slot, specifier = byte(unit, at + 1), byte(unit, at + 2), byte(unit, at + 3)
    if name == "alarm" then
      add(block, unit, key .. ".alarm_type", at + 1, 1, type_)
      add(block, unit, key .. ".alarm_type_name", at + 1, 1, range_name(alarm_types, type_))
    else
      add(block, unit, key .. ".status_type", at + 1, 1, type_ % 128)
      add(block, unit, key .. ".status_type_name", at + 1, 1, range_name(status_types, type_ % 128))
    end
    add(block, unit, key .. ".slot", at + 2, 1, slot)
    add(block, unit, key .. ".specifier", at + 3, 1,
        range_name(name == "alarm" and alarm_specifiers or status_specifiers, specifier % 4))
    if name == "alarm" then
      add(block, unit, key .. ".add_ack", at + 3, 1, bit(specifier, 2))
      add(block, unit, key .. ".sequence", at + 3, 1, math.floor(specifier / 8))
      block:add_proto_expert_info(dp_ex.note, "DP-V1 alarm: " .. range_name(alarm_types, type_))
    end
    if length > 4 then add(block, unit, key .. ".data", at + 4, length - 4) end
  end
  return length
end

local function add_slave_diag(tree, unit, dpv1)
  if unit.size < 6 then return malformed(tree, unit, "diag", "short") end
  for _, flag in ipairs(diag_flags) do
    local set = bit(byte(unit, flag[2]), flag[3]) ~= (flag[4] == true)
    add(tree, unit, "diag." .. flag[1], flag[2], 1, set)
    if set then
      local name = flag[1]
      if name == "cfg_fault" or name == "prm_fault" or name == "not_supported" or
          name == "ext_diag" then
        tree:add_proto_expert_info(dp_ex.warning, "Slave_Diag: " .. name)
      elseif name == "station_not_ready" or name == "prm_req" then
        tree:add_proto_expert_info(dp_ex.note, "Slave_Diag: " .. name)
      end
    end
  end
  if byte(unit, 3) ~= 255 then add(tree, unit, "diag.master_address", 3, 1, byte(unit, 3)) end
  add(tree, unit, "diag.ident_number", 4, 2, u16(unit, 4))
  local at, index = 6, 1
  while at < unit.size do
    local used = add_diag_block(tree, unit, at, dpv1, index)
    if not used then break end
    at, index = at + used, index + 1
  end
end

local function add_set_prm(tree, unit)
  if unit.size < 7 then return malformed(tree, unit, "prm", "short") end
  local station = byte(unit, 0)
  for _, flag in ipairs(prm_flags) do add(tree, unit, "prm." .. flag[1], 0, 1, bit(station, flag[2])) end
  local f1, f2 = byte(unit, 1), byte(unit, 2)
  add(tree, unit, "prm.wd_fact_1", 1, 1, f1)
  add(tree, unit, "prm.wd_fact_2", 2, 1, f2)
  add(tree, unit, "prm.min_tsdr_bits", 3, 1, byte(unit, 3))
  add(tree, unit, "prm.ident_number", 4, 2, u16(unit, 4))
  add(tree, unit, "prm.group_ident", 6, 1, byte(unit, 6))
  if unit.size > 7 then add(tree, unit, "prm.user_prm_data", 7, unit.size - 7) end
  for _, flag in ipairs(prm_dpv1_flags) do
    if unit.size > flag[1] then add(tree, unit, "prm." .. flag[3], flag[1], 1, bit(byte(unit, flag[1]), flag[2])) end
  end
  if unit.size > 9 then add(tree, unit, "prm.alarm_count", 9, 1, alarm_counts[byte(unit, 9) % 8]) end
  local dpv1 = unit.size > 7 and bit(byte(unit, 7), 7)
  if bit(station, 3) and f1 ~= 0 and f2 ~= 0 then
    local base1ms = dpv1 and bit(byte(unit, 7), 2)
    add(tree, unit, "prm.watchdog_ms", 1, 2, f1 * f2 * (base1ms and 1 or 10))
  end
  return dpv1
end

local function add_config(tree, unit)
  local at, index, input, output = 0, 1, 0, 0
  while at < unit.size do
    local head = byte(unit, at)
    local size
    if head % 64 < 16 then
      -- A special identifier: bits 7-6 say which length bytes follow, bits 3-0 how many
      -- manufacturer bytes.
      local count = head % 16
      if count == 15 then malformed(tree, unit, "cfg", "reserved length") break end
      local form = math.floor(head / 64)
      local has_out, has_in = form >= 2, form % 2 == 1
      size = 1 + (has_out and 1 or 0) + (has_in and 1 or 0) + count
      if size > unit.size - at then malformed(tree, unit, "cfg", "cut off") break end
      local id = tree:add(unit_range(unit, at, size), "Identifier " .. index .. ": special")
      add(id, unit, "cfg.identifier.hex", at, size)
      add(id, unit, "cfg.identifier.kind", at, 1, "special")
      local pos, out_bytes, in_bytes = at + 1, 0, 0
      local function length_bytes(b) return (b % 64 + 1) * (bit(b, 6) and 2 or 1) end
      if has_out then out_bytes, pos = length_bytes(byte(unit, pos)), pos + 1 end
      if has_in then in_bytes, pos = length_bytes(byte(unit, pos)), pos + 1 end
      add(id, unit, "cfg.identifier.output", at, size, out_bytes)
      add(id, unit, "cfg.identifier.input", at, size, in_bytes)
      if count > 0 then add(id, unit, "cfg.identifier.manufacturer_data", pos, count) end
      input, output = input + in_bytes, output + out_bytes
    else
      size = 1
      local direction, length = math.floor(head / 16) % 4, head % 16 + 1
      local word = bit(head, 6)
      local count = length * (word and 2 or 1)
      local id = tree:add(unit_range(unit, at, 1), "Identifier " .. index .. ": general")
      add(id, unit, "cfg.identifier.hex", at, 1)
      add(id, unit, "cfg.identifier.kind", at, 1, "general")
      add(id, unit, "cfg.identifier.direction", at, 1, range_name(directions, direction))
      add(id, unit, "cfg.identifier.length", at, 1, length)
      add(id, unit, "cfg.identifier.unit", at, 1, word and "word" or "byte")
      add(id, unit, "cfg.identifier.consistent", at, 1, bit(head, 7))
      add(id, unit, "cfg.identifier.bytes", at, 1, count)
      if direction % 2 == 1 then input = input + count end
      if direction >= 2 then output = output + count end
    end
    at, index = at + size, index + 1
  end
  add(tree, unit, "cfg.input_bytes", 0, unit.size, input)
  add(tree, unit, "cfg.output_bytes", 0, unit.size, output)
end

local function add_global_control(tree, unit)
  if unit.size < 2 then return malformed(tree, unit, "gc", "short") end
  local command = byte(unit, 0)
  for _, c in ipairs(gc_commands) do add(tree, unit, "gc." .. c[1], 0, 1, bit(command, c[2])) end
  -- Bits 7, 6 and 0 (command AND 0xC1).
  add(tree, unit, "gc.reserved_bits", 0, 1,
      (bit(command, 7) and 128 or 0) + (bit(command, 6) and 64 or 0) + command % 2)
  add(tree, unit, "gc.group_select", 1, 1, byte(unit, 1))
  if bit(command, 1) then tree:add_proto_expert_info(dp_ex.note, "Global_Control: Clear_Data") end
end

local function add_set_slave_add(tree, unit)
  if unit.size < 4 then return malformed(tree, unit, "ssa", "short") end
  add(tree, unit, "ssa.new_address", 0, 1, byte(unit, 0))
  add(tree, unit, "ssa.ident_number", 1, 2, u16(unit, 1))
  add(tree, unit, "ssa.no_add_chg", 3, 1, byte(unit, 3))
  if unit.size > 4 then add(tree, unit, "ssa.user_data", 4, unit.size - 4) end
end

local function add_dpv1(tree, unit)
  if unit.size == 0 then return malformed(tree, unit, "v1", "short") end
  local first = byte(unit, 0)
  local fn, error_reply = first % 128, first >= 128
  local has_index = not error_reply and (fn == 0x5E or fn == 0x5F or fn == 0x51)
  local has_slot = has_index or (not error_reply and fn == 0x5C)
  if (error_reply or has_slot) and unit.size < 4 then return malformed(tree, unit, "v1", "short") end
  add(tree, unit, "v1.function", 0, 1, fn)
  add(tree, unit, "v1.function_name", 0, 1, range_name(dpv1_functions, fn))
  add(tree, unit, "v1.error_reply", 0, 1, error_reply)
  if error_reply then
    local decode, code1 = byte(unit, 1), byte(unit, 2)
    add(tree, unit, "v1.error_decode", 1, 1, decode)
    add(tree, unit, "v1.error_decode_name", 1, 1, range_name(dpv1_error_decodes, decode))
    add(tree, unit, "v1.error_class", 2, 1, range_name(dpv1_error_classes, math.floor(code1 / 16)))
    add(tree, unit, "v1.error_code", 2, 1, code1 % 16)
    add(tree, unit, "v1.error_code_2", 3, 1, byte(unit, 3))
  end
  if has_slot then add(tree, unit, "v1.slot", 1, 1, byte(unit, 1)) end
  if has_index then
    add(tree, unit, "v1.index", 2, 1, byte(unit, 2))
    add(tree, unit, "v1.length", 3, 1, byte(unit, 3))
  elseif has_slot then
    add(tree, unit, "v1.alarm_type", 2, 1, byte(unit, 2))
    add(tree, unit, "v1.alarm_type_name", 2, 1, range_name(alarm_types, byte(unit, 2)))
    add(tree, unit, "v1.specifier", 3, 1, byte(unit, 3))
  end
  local from = (error_reply or has_slot) and 4 or 1
  if unit.size > from then add(tree, unit, "v1.data", from, unit.size - from) end
end

-- The DP service of a telegram with a body, by the slave's SAP; `answer` tells the first pass
-- whether the telegram is a positive answer to the one before it.
local function add_dp(ctx, pinfo, t)
  local unit = {ctx = ctx, frame = t.frame, at = t.pos, size = t.count}
  local request = has(t.fc, 0x40)
  local sap = request and t.dsap or (not request and t.ssap)
  -- The first pass learns which slaves run DP-V1 from the Set_Prm that were answered.
  if not pinfo.visited then
    if pending_prm then
      local code = t.fc % 16
      local positive = t.sc or (not request and t.sa == pending_prm.slave and
                                (code == 0 or code == 8 or code == 10 or code == 12 or code == 13))
      if positive then dpv1_of_slave[pending_prm.slave] = pending_prm.dpv1 end
      pending_prm = nil
    end
  end
  if t.sc or not sap then return end
  local key, add_unit
  if request and sap == 61 then
    local tree = ctx.tree:add(unit_range(unit, 0, unit.size), "DP Set_Prm")
    local dpv1 = add_set_prm(tree, unit)
    if not pinfo.visited then pending_prm = {slave = t.da, dpv1 = dpv1 == true} end
    return
  elseif request and sap == 62 or not request and sap == 59 then
    key, add_unit = "Chk_Cfg", add_config
    if not request then key = "Get_Cfg" end
  elseif request and sap == 58 then
    key, add_unit = "Global_Control", add_global_control
  elseif request and sap == 55 then
    key, add_unit = "Set_Slave_Add", add_set_slave_add
  elseif not request and sap == 60 then
    if not pinfo.visited then dpv1_at_frame[pinfo.number] = dpv1_of_slave[t.sa] == true end
    local tree = ctx.tree:add(unit_range(unit, 0, unit.size), "DP Slave_Diag")
    add_slave_diag(tree, unit, dpv1_at_frame[pinfo.number] == true)
    return
  elseif sap >= 49 and sap <= 51 then
    key, add_unit = "DP-V1", add_dpv1
  else
    return
  end
  add_unit(ctx.tree:add(unit.size > 0 and unit_range(unit, 0, unit.size) or range(ctx, 0, 0),
                        "DP " .. key), unit)
end

local function add_mark(tree, expert_field, mark)
  tree:add(f.mark, mark):set_generated()
  tree:add_proto_expert_info(expert_field, mark)
end

local function mark_malformed(ctx, mark)
  add_mark(ctx.tree, ex.malformed, mark)
  ctx.info[#ctx.info + 1] = mark
end

-- The dump's mark for a frame of a known kind that fails its length checks, or nil.
local function length_mark(kind, frame, len)
  if kind == SD1 then return len ~= 6 and ("Len(" .. len .. ")?") or nil end
  if kind == SD2 then
    if len < 9 then return "SD2 Len(" .. len .. ")?" end
    if frame[1] ~= len - 6 then return "SD2 LE?(" .. len .. ")" end
    if frame[2] ~= frame[1] then return "SD2 LEr?" end
    if frame[3] ~= SD2 then return "SD2r?" end
    return nil
  end
  if kind == SD3 then return len ~= 14 and ("SD3 Len(" .. len .. ")?") or nil end
  if kind == SD4 then return len ~= 3 and ("Len(" .. len .. ")?") or nil end
  if kind == SC then return len ~= 1 and ("Len(" .. len .. ")?") or nil end
  return "SD?" .. hex2(kind)
end

local function add_addresses(ctx, frame, at)
  local tree = ctx.tree
  local da_item = tree:add(f.da, range(ctx, at, 1))
  da_item:add(f.da_ext, range(ctx, at, 1))
  local sa_item = tree:add(f.sa, range(ctx, at + 1, 1))
  sa_item:add(f.sa_ext, range(ctx, at + 1, 1))
  local da, sa = frame[at] % 128, frame[at + 1] % 128
  -- Either address, as eth.addr filters either end.
  tree:add(f.addr, range(ctx, at, 1), da):set_hidden()
  tree:add(f.addr, range(ctx, at + 1, 1), sa):set_hidden()
  ctx.src, ctx.dst = tostring(sa), tostring(da)
  ctx.info[#ctx.info + 1] = da .. "<" .. sa
end

local function add_function_code(ctx, fc, at)
  local item = ctx.tree:add(f.fc, range(ctx, at, 1))
  local name = function_name(fc)
  item:add(f.fc_request, range(ctx, at, 1))
  if has(fc, 0x40) then
    item:add(f.fc_fcb, range(ctx, at, 1))
    item:add(f.fc_fcv, range(ctx, at, 1))
  else
    item:add(f.fc_station_type, range(ctx, at, 1), station_types[math.floor(fc / 16) % 4])
    item:add(f.fc_station_type_code, range(ctx, at, 1))
  end
  item:add(f.fc_function, range(ctx, at, 1), name)
  item:add(f.fc_code, range(ctx, at, 1))
  item:add(f.fc_standard_name, range(ctx, at, 1), standard_name(fc)):set_generated()
  item:append_text(" (" .. name .. ")")
  ctx.info[#ctx.info + 1] = name
end

-- The body of an SD1, SD2 or SD3 frame, from DA (frame byte `at`) to ED, `length` bytes.
local function add_body(ctx, frame, at, length)
  local da, sa, fc = frame[at], frame[at + 1], frame[at + 2]
  add_addresses(ctx, frame, at)
  add_function_code(ctx, fc, at + 2)

  -- A SAP byte is taken only where the data unit still holds one, as the dump takes it.
  local count, pos = length - 5, at + 3
  -- The data unit, from the SAPs to the last data byte, as a subtree of its own.
  local unit = ctx.tree
  if count > 0 then unit = ctx.tree:add(range(ctx, pos, count), "Data unit") end
  local dsap, ssap, dsap_at, ssap_at
  if has(da, 0x80) and count > 0 then
    dsap, dsap_at = frame[pos], pos
    unit:add(f.dsap, range(ctx, pos, 1))
    pos, count = pos + 1, count - 1
  end
  if has(sa, 0x80) and count > 0 then
    ssap, ssap_at = frame[pos], pos
    unit:add(f.ssap, range(ctx, pos, 1))
    pos, count = pos + 1, count - 1
  end
  if dsap or ssap then
    ctx.info[#ctx.info + 1] = (dsap or "") .. "{" .. (ssap or "")
  end
  local service_sap, service_at = ssap, ssap_at
  if has(fc, 0x40) then service_sap, service_at = dsap, dsap_at end
  local service = service_sap and dp_services[service_sap]
  if service then
    ctx.tree:add(f.dp_service, range(ctx, service_at, 1), service):set_generated()
    ctx.info[#ctx.info + 1] = service
  end
  if count > 0 then
    unit:add(f.data, range(ctx, pos, count))
    ctx.info[#ctx.info + 1] = hex_bytes(frame, pos, count)
  end
  unit:add(f.data_len, count):set_generated()
  add_dp(ctx, ctx.pinfo, {fc = fc, da = da % 128, sa = sa % 128, dsap = dsap, ssap = ssap,
                          frame = frame, pos = pos, count = count})
  ctx.dp_seen = true

  local sum = 0
  for i = at, pos + count - 1 do sum = sum + frame[i] end
  local computed, carried = sum % 256, frame[pos + count]
  local fcs_item = ctx.tree:add(f.fcs, range(ctx, pos + count, 1))
  fcs_item:add(f.fcs_status, range(ctx, pos + count, 1), computed == carried and "good" or "bad")
      :set_generated()
  fcs_item:add(f.fcs_check, range(ctx, pos + count, 1), computed == carried and 1 or 0)
      :set_generated()
  if computed ~= carried then
    fcs_item:add_proto_expert_info(ex.fcs_bad,
                                   "FCS?(" .. hex2(carried) .. ") computed " .. hex2(computed))
    ctx.info[#ctx.info + 1] = "FCS?(" .. hex2(carried) .. ")"
  end

  local ed = frame[pos + count + 1]
  local ed_item = ctx.tree:add(f.ed, range(ctx, pos + count + 1, 1))
  if ed == ED then
    ctx.info[#ctx.info + 1] = "ED"
  else
    add_mark(ed_item, ex.ed_bad, "ED?(" .. hex2(ed) .. ")")
    ctx.info[#ctx.info + 1] = "ED?(" .. hex2(ed) .. ")"
  end
end

local function add_status(ctx, status_tvb)
  local status = status_tvb:uint()
  local item = ctx.tree:add(f.status, status_tvb)
  local letters, set = {}, {}
  for i, bit in ipairs(status_bits) do
    item:add(f["status_" .. bit[1]], status_tvb)
    letters[i] = has(status, status_masks[i]) and bit[1] or "."
    if has(status, status_masks[i]) then set[#set + 1] = bit[1] .. " (" .. bit[3] .. ")" end
  end
  item:append_text(" (" .. table.concat(letters) .. ")")
  if #set > 0 then
    item:add_proto_expert_info(ex.status_bits, "Status bits: " .. table.concat(set, ", "))
  end
  return status
end

-- Decodes the frame bytes that start at packet offset `offset`; `status` is the record's status
-- byte, or nil when the packet carries none.
local function dissect_frame(ctx, status)
  local tvb, offset = ctx.tvb, ctx.offset
  local len = tvb:len() - offset
  local frame = {}
  local raw = tvb:raw(offset, len)
  for i = 0, len - 1 do frame[i] = raw:byte(i + 1) end

  -- An empty frame: as in the dump, the status byte stands at position 0 and picks the kind,
  -- whose length check then fails with nothing to show.
  local kind = len > 0 and frame[0] or status
  if len == 0 then
    add_mark(ctx.tree, ex.malformed, "FrmLen?(0)")
    if not status then
      ctx.info[1] = "FrmLen?(0)"
      return
    end
    frame[0] = status
  else
    -- The header: the start delimiter, and LE, LEr and the second SD of an SD2 frame.
    local header = ctx.tree:add(range(ctx, 0, kind == SD2 and math.min(len, 4) or 1), "Header")
    header:add(f.sd, range(ctx, 0, 1))
    if kind == SD2 then
      if len >= 2 then header:add(f.le, range(ctx, 1, 1)) end
      if len >= 3 then header:add(f.ler, range(ctx, 2, 1)) end
      if len >= 4 then header:add(f.sd_repeat, range(ctx, 3, 1)) end
    end
  end

  if kind_names[kind] then ctx.info[#ctx.info + 1] = kind_names[kind] end
  if kind == SC then ctx.info[#ctx.info + 1] = "SHAK" end
  if kind == SC and len == 1 then
    add_dp(ctx, ctx.pinfo, {sc = true, fc = 0})
    ctx.dp_seen = true
  end

  local mark = length_mark(kind, frame, len)
  if mark then
    mark_malformed(ctx, mark)
    if len > 0 then
      ctx.tree:add(f.raw, range(ctx, 0, len))
      ctx.info[#ctx.info + 1] = hex_bytes(frame, 0, len)
    else
      ctx.info[1] = "FrmLen?(0)" .. ctx.info[1]
    end
    return
  end

  if kind == SD1 then
    add_body(ctx, frame, 1, 5)
  elseif kind == SD2 then
    add_body(ctx, frame, 4, len - 4)
  elseif kind == SD3 then
    add_body(ctx, frame, 1, 13)
  elseif kind == SD4 then
    add_addresses(ctx, frame, 1)
  end
end

function fdl.dissector(tvb, pinfo, root)
  pinfo.cols.protocol = "FDL"
  local tree = root:add(fdl, tvb())
  local ctx = {tvb = tvb, tree = tree, info = {}, offset = 0, pinfo = pinfo}

  -- USER0 packets carry the status byte first; the frame-only link type does not.
  local status
  if pinfo.match_uint == wtap_encaps.USER0 then
    if tvb:len() == 0 then
      tree:add_proto_expert_info(ex.no_status)
      pinfo.cols.info = "No status byte"
      return 0
    end
    status = add_status(ctx, tvb(0, 1))
    ctx.offset = 1
  end
  dissect_frame(ctx, status)
  -- Any other frame after a Set_Prm leaves it unanswered.
  if not pinfo.visited and not ctx.dp_seen then pending_prm = nil end
  -- The addresses in the Source and Destination columns (a short acknowledgement has none).
  if ctx.src then
    pinfo.cols.src = ctx.src
    pinfo.cols.dst = ctx.dst
  end

  local info = table.concat(ctx.info, " ")
  pinfo.cols.info = info
  tree:append_text(", " .. info)
  return tvb:len()
end

local wtap_encap_table = DissectorTable.get("wtap_encap")
wtap_encap_table:add(wtap_encaps.USER0, fdl)

function fdl.prefs_changed()
  if fdl.prefs.claim_user0 then
    wtap_encap_table:add(wtap_encaps.USER0, fdl)
  else
    wtap_encap_table:remove(wtap_encaps.USER0, fdl)
  end
  if fdl.prefs.link_type_257 then
    wtap_encap_table:add(wtap_encaps.UNKNOWN, fdl)
  else
    wtap_encap_table:remove(wtap_encaps.UNKNOWN, fdl)
  end
end
