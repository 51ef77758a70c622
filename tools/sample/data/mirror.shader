// A mirror finish: the cube map is looked up along the view reflected about each facet.
#version 110
varying vec3 v_Eye;
#vertexshader
void main()
{
    v_Eye = (gl_ModelViewMatrix * gl_Vertex).xyz;
    gl_FrontColor = gl_Color;
    gl_Position = ftransform();
}
#fragmentshader
uniform samplerCube u_Surroundings;
void main()
{
    vec3 normal = normalize(cross(dFdx(v_Eye), dFdy(v_Eye)));
    if (normal.z < 0.0)
        normal = -normal;
    vec3 mirrored = reflect(normalize(v_Eye), normal);
    vec4 texel = textureCube(u_Surroundings, mirrored);
    float rim = pow(1.0 - normal.z, 2.0);
    gl_FragColor = vec4(mix(texel.rgb, gl_Color.rgb, 0.25 + 0.5 * rim), gl_Color.a);
}
