// Two vendors' public keys as kitpack writes them into locations.xml: RSA 2048
// bits, exponent 65537, written by OpenSSL (`openssl rsa -outform MSBLOB`) with
// the algorithm set to CALG_RSA_SIGN, in base64.
#pragma once

namespace kittest {

const wchar_t kKeyA[] =
    L"BgIAAAAkAABSU0ExAAgAAAEAAQDXXNL1FrI4qdJTz4XL3B5d5SpW0ZMvp8VBvEtpCUCHKP7YQIKvAyZOGXfd2Ek6+3BJpDp8RUXlsm+SoRpnOr"
    L"cboiLGbbQvaALbXssSe1Z8KGRGEcsEg/361JTemmAklIBSjvw7LW1hIxlb4b43PpisIFVKi6JkGm+1B4M+l5AAC8al8027WcivUSOrO1hFXEsW"
    L"5XVlJou8b5KdtZfrI48fg+VczG24wspRkD4mESrOt4Rdlhm2HqbabFHlrASII8W8rPncXSpRaShjkaOyAW0cgE6RqLUUMUXQsmlJ3KqUxaukuV"
    L"CPGJ2iBWhl9hzigilnSSLkDPSnWruc3zAauofR";
const wchar_t kKeyB[] =
    L"BgIAAAAkAABSU0ExAAgAAAEAAQANuAnyAIR67IecK9g93ZWyFY1aOc7sw8CiboQ10wnGsD73yEtVOkzorYg1Qx0u65q++DJ+sdIpAjKKWEyKOl"
    L"tv6Ir3yuKJbLVCdKdWER6md4Os61IlJgrCz4MtjYzDx4MNvOfQ6fPI95iqbCohSOo/c8RhFjNjaC68X7qdHO5UJUBFCZ6bQ3ODjJCJ3SkxhMWD"
    L"Cm04JqRYhtZd8PT4OBh2xYYym+/xdnjvuNGKzNU1GLLc71Kq9PE0pQZy7JXq2M/YHeawuuPS0tQiFOiGi+VWrb67eUlAXQUwp8FxfvK3yR52vU"
    L"bn7dwoQYFTGQh304Kgw4TKBwBWcWjKvhJZQt7h";

}  // namespace kittest
