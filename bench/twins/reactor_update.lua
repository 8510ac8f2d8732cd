-- Twin of reactor_update.ixo: a table whose field writes go through a
-- metatable that runs the reactions reading the field, a hundred thousand
-- updates.
local fields = {x = 0}
local reactions = {}
local r = setmetatable({}, {
  __index = fields,
  __newindex = function(_, key, value)
    fields[key] = value
    for _, reaction in ipairs(reactions) do reaction() end
  end,
})
local seen, last_x = 0, nil
local function reaction()
  seen = seen + 1
  last_x = r.x
end
reactions[1] = reaction
reaction()
for i = 1, 100000 do r.x = i end
print(seen .. " " .. last_x)
