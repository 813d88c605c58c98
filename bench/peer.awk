# The benchmark's peer: the conversion as a user would script it in awk.
# Usage: mawk -v limit=500 -f peer.awk LIST  (group files into the current directory)
{
  for (i = 1; i <= NF; i++) {
    position = count % limit
    if (position == 0) {
      if (count > 0) {
        printf "<int id=\"total\">%d</int></xml>", limit > file
        close(file)
      }
      group++
      file = "output_" group ".xml"
      print "輸出檔案:" file
      printf "<xml><string id=\"name\">output_%d</string>", group > file
    }
    phone = $i
    gsub(/&/, "\\&amp;", phone)
    gsub(/</, "\\&lt;", phone)
    gsub(/>/, "\\&gt;", phone)
    printf "<contactData><string id=\"peopleName%d\">People</string><string id=\"peoplePhone%d\">%s</string></contactData>", position, position, phone > file
    print "read:" $i
    count++
  }
}
END {
  if (count > 0) {
    printf "<int id=\"total\">%d</int></xml>", (count - 1) % limit + 1 > file
    close(file)
  }
}
